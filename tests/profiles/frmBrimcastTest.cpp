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
    // No name: Connect all the same (shown, not kept), and it says so.
    probe().txtHost->clear();
    probe().cboName->setEditText("");
    QTest::keyClicks(probe().txtHost, "cam1");
    EXPECT_TRUE(probe().cmdConnect->isEnabled());
    EXPECT_EQ(probe().cmdConnect->toolTip(), "Connect (type a name to keep this camera)");
    probe().cboName->setEditText("Door");
    EXPECT_EQ(probe().cmdConnect->toolTip(), "Connect");
    probe().txtPort->setText("80");
    EXPECT_TRUE(probe().cmdConnect->isEnabled());
    // Values that make no web address are refused, with the reason said.
    struct Entry {
        const char* host;
        const char* port;
        const char* problem; // empty: allowed
    };
    const Entry entries[] = {
        {"cam1", "65535", ""},
        {"192.168.1.20", "1", ""},
        {"fd00::5", "80", ""},
        {"front-door.local", "8081", ""},
        {"cam1", "65536", "Port 65536 is not a port number (1\u201365535)"},
        {"cam1", "abc", "Port abc is not a port number"},
        {"cam1", "-5", "Port -5 is not a port number"},
        {"127.0.0.1 x", "80", "'127.0.0.1 x' is not a host name or address"},
        {"cam/1", "80", "'cam/1' is not a host name or address"},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(std::string(e.host) + " " + e.port);
        probe().txtHost->setText(e.host);
        probe().txtPort->setText(e.port);
        EXPECT_EQ(probe().cmdConnect->isEnabled(), *e.problem == '\0');
        EXPECT_TRUE(probe().cmdConnect->toolTip().startsWith(*e.problem ? e.problem : "Connect"))
            << qPrintable(probe().cmdConnect->toolTip());
    }
    // A web address as the host is taken apart: pasted, at once; typed,
    // once the field is left.
    probe().txtHost->selectAll();
    probe().txtHost->insert("http://cam2:8090/view.html");
    EXPECT_EQ(probe().txtHost->text(), "cam2");
    EXPECT_EQ(probe().txtPort->text(), "8090");
    probe().txtHost->clear();
    QTest::keyClicks(probe().txtHost, "http://cam3/");
    EXPECT_EQ(probe().txtHost->text(), "http://cam3/");
    QTest::keyClick(probe().txtHost, Qt::Key_Return);
    EXPECT_EQ(probe().txtHost->text(), "cam3");
    EXPECT_EQ(probe().txtPort->text(), "80");
    probe().txtPort->setText("80");
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
