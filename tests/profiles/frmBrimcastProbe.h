#pragma once

// White-box access to the profiles panel for the tests: its fields,
// buttons, settings and the name list's pick.

#include "profiles/frmBrimcast.h"

struct frmBrimcastProbe {
    explicit frmBrimcastProbe(frmBrimcast& panel)
        : panel(panel), cboName(panel.cboName), txtHost(panel.txtHost), txtPort(panel.txtPort),
          cmdConnect(panel.cmdConnect), cmdDelete(panel.cmdDelete), Timer1(panel.Timer1)
    {
    }

    void cboName_Click() { panel.cboName_Click(); }
    platform::SettingsStore& settings() { return panel.store_.settings(); }

    frmBrimcast& panel;
    QComboBox* const cboName;
    QLineEdit* const txtHost;
    QLineEdit* const txtPort;
    QToolButton* const cmdConnect;
    QToolButton* const cmdDelete;
    QTimer* const Timer1;
};
