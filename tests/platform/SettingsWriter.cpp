// Helper for the settings tests: saves COUNT profiles named PREFIX0.. into
// the settings of APPLICATION, as the viewer's save rule does.
#include "platform/SettingsStore.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    platform::SettingsStore store(args[1]);
    const int count = args[3].toInt();
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const QString name = args[2] + QString::number(i);
        ok = store.save("name", name, name) && ok;
        ok = store.save(name, "host", "host-" + name) && ok;
        ok = store.save(name, "port", QString::number(8000 + i)) && ok;
    }
    return ok ? 0 : 1;
}
