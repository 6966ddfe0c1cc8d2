// Helper for the settings tests: saves COUNT profiles named PREFIX0.. into
// the settings of APPLICATION, as the viewer's save rule does.
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    platform::SettingsStore store(args[1]);
    const int count = args[3].toInt();
    for (int i = 0; i < count; ++i) {
        const QString name = args[2] + QString::number(i);
        store.save("name", name, name);
        store.save(name, "host", "host-" + name);
        store.save(name, "port", QString::number(8000 + i));
    }
    // Changes made while the other program held the lock are kept and go
    // with the next save that gets it, as the viewer's last save at close.
    QElapsedTimer clock;
    clock.start();
    while (store.hasUnsavedChanges() && clock.elapsed() < 60000) {
        QThread::msleep(20);
        store.save("name", args[2] + "0", args[2] + "0");
    }
    return store.hasUnsavedChanges() ? 1 : 0;
}
