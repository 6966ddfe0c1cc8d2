// Tests of the connection profiles panel.
#include "profiles/ProfilesHost.h"
#include "profiles/frmBrimcast.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// The main window's side, recording page builds and applying the save rule
// the way the page build does.
struct FakeMain : ProfilesHost {
    frmBrimcast* panel = nullptr;
    int refreshes = 0;
    QWidget window;
    void cmdRefresh_Click() override
    {
        ++refreshes;
        if (!panel->cboName->currentText().isEmpty() && !panel->txtHost->text().isEmpty() &&
            !panel->txtPort->text().isEmpty())
            panel->SaveProfile();
    }
    QWidget* hostWindow() override { return &window; }
    bool onTop() const override { return false; }
    void setTopmost(bool) override {}
};

class Profiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        panel = std::make_unique<frmBrimcast>(main, platform::SettingsStore("Ostrel"));
        main.panel = panel.get();
        panel->LoadProfileNames();
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    QStringList names() const
    {
        QStringList list;
        for (int i = 0; i < panel->cboName->count(); ++i)
            list << panel->cboName->itemText(i);
        return list;
    }
    void store(const QString& name, const QString& host, const QString& port)
    {
        auto& s = panel->settings();
        s.save("name", name, name);
        if (!host.isNull())
            s.save(name, "host", host);
        if (!port.isNull())
            s.save(name, "port", port);
    }
    void select(const QString& name)
    {
        panel->cboName->setEditText(name);
        panel->cboName_Click();
    }

    QTemporaryDir dir;
    FakeMain main;
    std::unique_ptr<frmBrimcast> panel;
};

} // namespace

TEST_F(Profiles, EmptyStoreGivesEmptyFields)
{
    EXPECT_TRUE(names().isEmpty());
    EXPECT_EQ(panel->cboName->currentText(), "");
    EXPECT_EQ(panel->txtHost->text(), "");
    EXPECT_EQ(panel->txtPort->text(), "8081");
    EXPECT_FALSE(panel->cmdConnect->isEnabled());
    EXPECT_FALSE(panel->cmdDelete->isEnabled());
}

TEST_F(Profiles, ConnectRuleFollowsHostAndPortEdits)
{
    // Name first, then host: Connect as soon as the host changes.
    panel->cboName->setEditText("Garden");
    QTest::keyClicks(panel->txtHost, "cam1");
    EXPECT_TRUE(panel->cmdConnect->isEnabled());
    // Host first, name last: the name alone does not re-evaluate the rule.
    panel->txtHost->clear();
    panel->cboName->setEditText("");
    QTest::keyClicks(panel->txtHost, "cam1");
    panel->cboName->setEditText("Door");
    EXPECT_FALSE(panel->cmdConnect->isEnabled());
    panel->txtPort->setText("80");
    EXPECT_TRUE(panel->cmdConnect->isEnabled());
    panel->txtPort->clear();
    EXPECT_FALSE(panel->cmdConnect->isEnabled());
}

TEST_F(Profiles, ConnectRemembersAndTheLastUsedStandsLast)
{
    panel->cboName->setEditText("Garden");
    panel->txtHost->setText("cam1");
    panel->cmdConnect->click();
    EXPECT_EQ(main.refreshes, 1);
    EXPECT_EQ(names(), QStringList{"Garden"});
    EXPECT_EQ(panel->settings().get("Garden", "host"), "cam1");
    EXPECT_EQ(panel->settings().get("Garden", "port"), "8081");

    panel->cboName->setEditText("Door");
    panel->txtHost->setText("cam2");
    panel->txtPort->setText("80");
    panel->cmdConnect->click();
    panel->cboName->setEditText("Garden");
    panel->txtHost->setText("cam1");
    panel->cmdConnect->click(); // again: no second entry in the list...
    EXPECT_EQ(names(), (QStringList{"Garden", "Door"}));
    panel->LoadProfileNames(); // ...but last after the next load
    EXPECT_EQ(names(), (QStringList{"Door", "Garden"}));
}

TEST_F(Profiles, SelectingLoadsRefreshesAndResaves)
{
    store("Garden", "cam1", "80");
    store("Door", "cam2", "81");
    panel->LoadProfileNames();
    EXPECT_EQ(names(), (QStringList{"Garden", "Door"}));
    select("Garden");
    EXPECT_EQ(panel->txtHost->text(), "cam1");
    EXPECT_EQ(panel->txtPort->text(), "80");
    EXPECT_TRUE(panel->cmdDelete->isEnabled());
    EXPECT_TRUE(panel->cmdConnect->isEnabled());
    EXPECT_EQ(main.refreshes, 1);
    panel->LoadProfileNames();
    EXPECT_EQ(names(), (QStringList{"Door", "Garden"}));
}

TEST_F(Profiles, MissingKeysGiveEmptyHostAndDefaultPort)
{
    store("NoPort", "cam3", QString());
    store("NoHost", QString(), "90");
    panel->LoadProfileNames();
    select("NoPort");
    EXPECT_EQ(panel->txtPort->text(), "8081");
    select("NoHost");
    EXPECT_EQ(panel->txtHost->text(), "");
    EXPECT_EQ(panel->txtPort->text(), "90");
    EXPECT_FALSE(panel->cmdConnect->isEnabled());
    select("Unknown"); // nothing stored at all
    EXPECT_EQ(panel->txtHost->text(), "");
    EXPECT_EQ(panel->txtPort->text(), "8081");
}

TEST_F(Profiles, DeleteForgetsAndResets)
{
    store("Garden", "cam1", "80");
    store("Door", "cam2", "81");
    panel->LoadProfileNames();
    select("Garden");
    const int before = main.refreshes;
    panel->cmdDelete->click();
    EXPECT_EQ(names(), QStringList{"Door"});
    EXPECT_FALSE(panel->settings().section("Garden"));
    EXPECT_EQ(panel->cboName->currentText(), "");
    EXPECT_EQ(panel->txtHost->text(), "");
    EXPECT_EQ(panel->txtPort->text(), "8081");
    EXPECT_FALSE(panel->cmdDelete->isEnabled());
    EXPECT_FALSE(panel->cmdConnect->isEnabled());
    EXPECT_EQ(main.refreshes, before + 1);

    // With an empty name: the store is untouched, the fields reset all the same.
    panel->txtHost->setText("typed");
    panel->cmdDelete->setEnabled(true);
    panel->cmdDelete->click();
    EXPECT_EQ(names(), QStringList{"Door"});
    EXPECT_EQ(panel->txtHost->text(), "");
    EXPECT_EQ(main.refreshes, before + 2);
}
