#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class AppletHost;

// The applet's box in the page: the applet's live picture, or, while there
// is none, what keeps it from showing (grey text on black, centred, as the
// Idle page writes). Mouse and keys in the box go to the applet.
class AppletView : public QWidget {
    Q_OBJECT
public:
    AppletView(AppletHost& host, QWidget* parent);

    QImage picture() const { return picture_; }
    QString statusText() const { return status_; }
    // What the applet last gave as its status, as the box's tooltip shows it
    // below the page's own: one line of plain text, cut to a readable length.
    QString appletStatus() const { return appletStatus_; }
    AppletHost& host() const { return host_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void sendMouse(const char* kind, QMouseEvent* event, int clicks);

    AppletHost& host_;
    QImage picture_;
    QString status_;
    QString appletStatus_;
    QPoint pressedAt_;
};
