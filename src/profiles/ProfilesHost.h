#pragma once

class QWidget;

// What the profiles panel needs of the main window.
class ProfilesHost {
public:
    virtual ~ProfilesHost() = default;
    // Rebuilds and shows the page for the panel's host and port (and saves the profile).
    virtual void cmdRefresh_Click() = 0;
    virtual QWidget* hostWindow() = 0;
    // The always-on-top switch.
    virtual bool onTop() const = 0;
    // Puts the main window above others (true) or back in the normal order.
    virtual void setTopmost(bool topmost) = 0;
    // The panel's host and port now do (true) or do not make a camera to connect to.
    virtual void connectionUsable(bool usable) { (void)usable; }
};
