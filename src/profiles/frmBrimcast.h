#pragma once

#include "profiles/ProfileStore.h"

#include <QPointer>
#include <QWidget>

class ProfilesHost;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

// The drop-down panel of connection profiles. It holds the current connection
// (name, host, port), which the main window reads at every page build even
// while the panel is hidden, and the saved profiles in the settings: picking
// a name connects to it, Connect connects to what is typed and remembers it,
// Delete forgets the chosen profile. The panel hides as soon as another
// window becomes active.
class frmBrimcast : public QWidget {
    Q_OBJECT
public:
    frmBrimcast(ProfilesHost& host, platform::SettingsStore store, QWidget* parent = nullptr);

    // The connection in the fields: the name, host and port typed or loaded.
    profiles::Connection currentConnection() const;
    // Refills the name list from the settings.
    void LoadProfileNames();
    bool HasProfile(const QString& name) const;
    // Applies the start options: a named profile is loaded and connected
    // to; a host or port given fills the fields the profile left empty (the
    // default port with a host alone). True when the main window should
    // connect to what the options filled in.
    bool ApplyCommandLine(const profiles::Connection& options);
    // The save rule, applied by the page build when name, host and port are all set.
    void SaveProfile();
    // Opens the panel below the main window's top-left corner, the focus in
    // the name.
    void ShowBelow(const QPoint& mainTopLeft);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend struct frmBrimcastProbe; // white-box access for the tests

    // Loads the profile named in the name field and connects to it.
    void cboName_Click();
    void Form_Activate();
    void Timer1_Timer();
    void cmdConnect_Click();
    void cmdDelete_Click();
    void EvaluateConnectRule();
    // A web address in the host field becomes its host and port.
    void TakeAddressApart();

    ProfilesHost& host_;
    profiles::ProfileStore store_;
    QFrame* fraControls;
    QLabel* lblName;
    QLabel* lblHost;
    QLabel* lblPort;
    QComboBox* cboName;
    QLineEdit* txtHost;
    QLineEdit* txtPort;
    qsizetype hostLength_ = 0; // the host text's length after the last edit
    QToolButton* cmdConnect;
    QToolButton* cmdDelete;
    QTimer* Timer1;
    QPointer<QWidget> hWndActive;
};
