// Tests of the connection profiles panel.
#include "profiles/ProfilesHost.h"
#include "profiles/frmBrimcast.h"
#include "profiles/frmBrimcastProbe.h"

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
        const profiles::Connection typed = panel->currentConnection();
        if (!typed.name.isEmpty() && !typed.host.isEmpty() && !typed.port.isEmpty())
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

    frmBrimcastProbe probe() const { return frmBrimcastProbe(*panel); }
    QStringList names() const
    {
        QStringList list;
        for (int i = 0; i < probe().cboName->count(); ++i)
            list << probe().cboName->itemText(i);
        return list;
    }
    void store(const QString& name, const QString& host, const QString& port)
    {
        auto& s = probe().settings();
        s.save("name", name, name);
        if (!host.isNull())
            s.save(name, "host", host);
        if (!port.isNull())
            s.save(name, "port", port);
    }
    void select(const QString& name)
    {
        probe().cboName->setEditText(name);
        probe().cboName_Click();
    }

    QTemporaryDir dir;
    FakeMain main;
    std::unique_ptr<frmBrimcast> panel;
};

} // namespace

TEST_F(Profiles, EmptyStoreGivesEmptyFields)
{
    EXPECT_TRUE(names().isEmpty());
    EXPECT_EQ(probe().cboName->currentText(), "");
    EXPECT_EQ(probe().txtHost->text(), "");
    EXPECT_EQ(probe().txtPort->text(), "8081");
    EXPECT_FALSE(probe().cmdConnect->isEnabled());
    EXPECT_FALSE(probe().cmdDelete->isEnabled());
}

TEST_F(Profiles, ConnectRuleFollowsHostAndPortEdits)
{
    // Name first, then host: Connect as soon as the host changes.
    probe().cboName->setEditText("Garden");
    QTest::keyClicks(probe().txtHost, "cam1");
    EXPECT_TRUE(probe().cmdConnect->isEnabled());
    // Host first, name last: the name alone does not re-evaluate the rule.
    probe().txtHost->clear();
    probe().cboName->setEditText("");
    QTest::keyClicks(probe().txtHost, "cam1");
    probe().cboName->setEditText("Door");
    EXPECT_FALSE(probe().cmdConnect->isEnabled());
    probe().txtPort->setText("80");
    EXPECT_TRUE(probe().cmdConnect->isEnabled());
    probe().txtPort->clear();
    EXPECT_FALSE(probe().cmdConnect->isEnabled());
}

TEST_F(Profiles, ConnectRemembersAndTheLastUsedStandsLast)
{
    probe().cboName->setEditText("Garden");
    probe().txtHost->setText("cam1");
    probe().cmdConnect->click();
    EXPECT_EQ(main.refreshes, 1);
    EXPECT_EQ(names(), QStringList{"Garden"});
    EXPECT_EQ(probe().settings().get("Garden", "host"), "cam1");
    EXPECT_EQ(probe().settings().get("Garden", "port"), "8081");

    probe().cboName->setEditText("Door");
    probe().txtHost->setText("cam2");
    probe().txtPort->setText("80");
    probe().cmdConnect->click();
    probe().cboName->setEditText("Garden");
    probe().txtHost->setText("cam1");
    probe().cmdConnect->click(); // again: no second entry in the list...
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
    EXPECT_EQ(probe().txtHost->text(), "cam1");
    EXPECT_EQ(probe().txtPort->text(), "80");
    EXPECT_TRUE(probe().cmdDelete->isEnabled());
    EXPECT_TRUE(probe().cmdConnect->isEnabled());
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
    EXPECT_EQ(probe().txtPort->text(), "8081");
    select("NoHost");
    EXPECT_EQ(probe().txtHost->text(), "");
    EXPECT_EQ(probe().txtPort->text(), "90");
    EXPECT_FALSE(probe().cmdConnect->isEnabled());
    select("Unknown"); // nothing stored at all
    EXPECT_EQ(probe().txtHost->text(), "");
    EXPECT_EQ(probe().txtPort->text(), "8081");
}

TEST_F(Profiles, DeleteForgetsAndResets)
{
    store("Garden", "cam1", "80");
    store("Door", "cam2", "81");
    panel->LoadProfileNames();
    select("Garden");
    const int before = main.refreshes;
    probe().cmdDelete->click();
    EXPECT_EQ(names(), QStringList{"Door"});
    EXPECT_FALSE(probe().settings().section("Garden"));
    EXPECT_EQ(probe().cboName->currentText(), "");
    EXPECT_EQ(probe().txtHost->text(), "");
    EXPECT_EQ(probe().txtPort->text(), "8081");
    EXPECT_FALSE(probe().cmdDelete->isEnabled());
    EXPECT_FALSE(probe().cmdConnect->isEnabled());
    EXPECT_EQ(main.refreshes, before + 1);

    // With an empty name: the store is untouched, the fields reset all the same.
    probe().txtHost->setText("typed");
    probe().cmdDelete->setEnabled(true);
    probe().cmdDelete->click();
    EXPECT_EQ(names(), QStringList{"Door"});
    EXPECT_EQ(probe().txtHost->text(), "");
    EXPECT_EQ(main.refreshes, before + 2);
}
