// frmBrimcast, the connection profiles panel: names, host and port, save and delete.
#include "frmBrimcast.h"

#include "Address.h"
#include "ProfilesHost.h"
#include "platform/Twips.h"
#include "platform/Icons.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

frmBrimcast::frmBrimcast(ProfilesHost& host, platform::SettingsStore store, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), host_(host),
      store_(std::move(store))
{
    using platform::twips;
    setObjectName("frmBrimcast");
    setFixedSize(twips(3555, 1170));
    fraControls = new QFrame(this);
    fraControls->setFrameShape(QFrame::Box);
    fraControls->setGeometry(twips(20, 20, 3525, 1140));

    lblName = new QLabel("Name:", fraControls);
    lblHost = new QLabel("Host/IP:", fraControls);
    lblPort = new QLabel("Port:", fraControls);
    cboName = new QComboBox(fraControls);
    cboName->setEditable(true);
    cboName->setInsertPolicy(QComboBox::NoInsert);
    txtHost = new QLineEdit(fraControls);
    txtPort = new QLineEdit(profiles::ProfileStore::defaultPort(), fraControls);
    cmdConnect = new QToolButton(fraControls);
    cmdConnect->setIcon(platform::icons::checkMark());
    cmdConnect->setToolTip("Connect");
    cmdConnect->setEnabled(false);
    cmdDelete = new QToolButton(fraControls);
    cmdDelete->setIcon(platform::icons::cross());
    cmdDelete->setToolTip("Delete");
    cmdDelete->setEnabled(false);

    lblName->setGeometry(twips(0, 60, 690, 255));
    lblHost->setGeometry(twips(0, 450, 690, 255));
    lblPort->setGeometry(twips(0, 810, 690, 255));
    cboName->setGeometry(twips(705, 30, 2415, 315));
    txtHost->setGeometry(twips(705, 435, 2775, 285));
    txtPort->setGeometry(twips(705, 795, 1695, 285));
    cmdConnect->setGeometry(twips(3150, 30, 330, 315));
    cmdDelete->setGeometry(twips(3150, 780, 330, 315));
    setTabOrder(cboName, txtHost);
    setTabOrder(txtHost, txtPort);
    setTabOrder(txtPort, cmdConnect);
    setTabOrder(cmdConnect, cmdDelete);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmBrimcast::Timer1_Timer);
    connect(cboName, &QComboBox::activated, this, [this] { cboName_Click(); });
    connect(cmdConnect, &QToolButton::clicked, this, &frmBrimcast::cmdConnect_Click);
    connect(cmdDelete, &QToolButton::clicked, this, &frmBrimcast::cmdDelete_Click);
    connect(txtHost, &QLineEdit::textChanged, this, &frmBrimcast::EvaluateConnectRule);
    connect(txtPort, &QLineEdit::textChanged, this, &frmBrimcast::EvaluateConnectRule);
    // A camera's web address pasted as its host gives host and port: at
    // once when it came in one piece, else when the field is left.
    connect(txtHost, &QLineEdit::textEdited, this, [this](const QString& text) {
        const bool pasted = text.size() - hostLength_ > 1;
        hostLength_ = text.size();
        if (pasted)
            TakeAddressApart();
    });
    connect(txtHost, &QLineEdit::editingFinished, this, &frmBrimcast::TakeAddressApart);
    // A name typed for the host and port shown makes a profile of them too.
    connect(cboName, &QComboBox::editTextChanged, this, &frmBrimcast::EvaluateConnectRule);
    // Enter in any field is the check mark, where it may be used.
    const auto enter = [this] {
        TakeAddressApart();
        if (cmdConnect->isEnabled())
            cmdConnect->click();
    };
    connect(cboName->lineEdit(), &QLineEdit::returnPressed, this, enter);
    connect(txtHost, &QLineEdit::returnPressed, this, enter);
    connect(txtPort, &QLineEdit::returnPressed, this, enter);
}

void frmBrimcast::TakeAddressApart()
{
    if (const auto address = profiles::pastedAddress(txtHost->text())) {
        txtHost->setText(address->host);
        txtPort->setText(address->port);
    }
    hostLength_ = txtHost->text().size();
}

void frmBrimcast::EvaluateConnectRule()
{
    // A host or port that cannot make a web address is refused where it is
    // typed: its field turns red and says why, as does the check mark.
    const QString hostWrong = profiles::hostProblem(txtHost->text());
    const QString portWrong = profiles::portProblem(txtPort->text());
    const auto mark = [](QLineEdit* field, const QString& problem) {
        field->setToolTip(problem);
        field->setStyleSheet(problem.isEmpty() ? QString() : QStringLiteral("color: #c00000"));
    };
    mark(txtHost, hostWrong);
    mark(txtPort, portWrong);
    const QString problem = !hostWrong.isEmpty() ? hostWrong : portWrong;
    // Without a name the camera is shown all the same, only not kept as a profile.
    const bool named = !cboName->currentText().isEmpty();
    const QString allowed = named ? QStringLiteral("Connect")
                                  : QStringLiteral("Connect (type a name to keep this camera)");
    cmdConnect->setToolTip(problem.isEmpty() ? allowed : problem);
    const bool usable = !txtHost->text().isEmpty() && !txtPort->text().isEmpty() && problem.isEmpty();
    cmdConnect->setEnabled(usable);
    host_.connectionUsable(usable);
}

bool frmBrimcast::HasProfile(const QString& name) const
{
    return !name.isEmpty() && store_.contains(name);
}

profiles::Connection frmBrimcast::currentConnection() const
{
    return {cboName->currentText(), txtHost->text(), txtPort->text()};
}

void frmBrimcast::LoadProfileNames()
{
    cboName->clear();
    cboName->setEditText(QString());
    cboName->addItems(store_.names());
    cboName->setCurrentIndex(-1);
    cboName->setEditText(QString());
}

bool frmBrimcast::ApplyCommandLine(const profiles::Connection& options)
{
    if (!options.name.isEmpty()) {
        cboName->setEditText(options.name);
        cboName_Click();
    }
    if (!txtHost->text().isEmpty() && !txtPort->text().isEmpty())
        return false; // the profile named is complete
    if (!options.host.isEmpty())
        txtHost->setText(options.host);
    if (!options.port.isEmpty())
        txtPort->setText(options.port);
    else if (!options.host.isEmpty())
        txtPort->setText(profiles::ProfileStore::defaultPort());
    return !options.host.isEmpty() || !options.port.isEmpty();
}

void frmBrimcast::cboName_Click()
{
    const QString name = cboName->currentText();
    if (!name.isEmpty()) {
        const profiles::Connection profile = store_.load(name);
        txtHost->setText(profile.host);
        txtPort->setText(profile.port);
        cmdDelete->setEnabled(true);
        host_.cmdRefresh_Click();
    }
    EvaluateConnectRule();
}

void frmBrimcast::SaveProfile()
{
    const profiles::Connection profile = currentConnection();
    if (!store_.contains(profile.name)) {
        cboName->addItem(profile.name);
        cboName->setEditText(profile.name); // adding to the list leaves the name text alone
    }
    // A save that waits for the lock is written later; the store tells the user.
    store_.save(profile);
}

void frmBrimcast::cmdConnect_Click()
{
    host_.cmdRefresh_Click();
}

void frmBrimcast::cmdDelete_Click()
{
    const QString name = cboName->currentText();
    if (!name.isEmpty())
        store_.remove(name);
    cboName->setEditText(QString());
    txtHost->setText(QString());
    txtPort->setText(profiles::ProfileStore::defaultPort());
    LoadProfileNames();
    cmdDelete->setEnabled(false);
    cmdConnect->setEnabled(false);
    host_.cmdRefresh_Click();
}

void frmBrimcast::ShowBelow(const QPoint& mainTopLeft)
{
    move(mainTopLeft + platform::twips(QPoint(50, 750)));
    host_.setTopmost(true);
    show();
    raise();
    activateWindow();
    cboName->setFocus(Qt::PopupFocusReason);
}

void frmBrimcast::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool frmBrimcast::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void frmBrimcast::Form_Activate()
{
    hWndActive = QApplication::activeWindow();
    Timer1->start();
    if (!cboName->currentText().isEmpty())
        cmdDelete->setEnabled(true);
    EvaluateConnectRule();
}

void frmBrimcast::Timer1_Timer()
{
    QWidget* main = host_.hostWindow();
    const bool mainVisible = main && main->isVisible();
    if (QApplication::activeWindow() == hWndActive && hWndActive && mainVisible)
        return;
    Timer1->stop();
    if (mainVisible)
        host_.setTopmost(host_.onTop());
    hide();
}
