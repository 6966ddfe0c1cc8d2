// Reading the APPLET elements of a loaded page: code, code base, archives, size, name and parameters.
#include "AppletElement.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString appletElementsScript()
{
    return QStringLiteral(
        "(function() {"
        "  var found = [];"
        "  var elements = document.getElementsByTagName('APPLET');"
        "  for (var i = 0; i < elements.length; ++i) {"
        "    var a = elements[i];"
        "    var r = a.getBoundingClientRect();"
        "    var params = [];"
        "    var p = a.getElementsByTagName('PARAM');"
        "    for (var j = 0; j < p.length; ++j)"
        "      params.push([p[j].getAttribute('name') || '', p[j].getAttribute('value') || '']);"
        "    found.push({code: a.getAttribute('code') || '', codebase: a.getAttribute('codebase') || '',"
        "                archive: a.getAttribute('archive') || '', name: a.getAttribute('name') || '',"
        "                width: a.getAttribute('width') || '', height: a.getAttribute('height') || '',"
        "                left: r.left, top: r.top, params: params});"
        "  }"
        "  return JSON.stringify({base: document.baseURI, applets: found});"
        "})()");
}

QList<AppletElement> appletElements(const QVariant& scriptResult)
{
    QList<AppletElement> result;
    const QJsonObject page = QJsonDocument::fromJson(scriptResult.toString().toUtf8()).object();
    const QUrl base(page.value("base").toString());
    for (const QJsonValue& value : page.value("applets").toArray()) {
        const QJsonObject a = value.toObject();
        AppletElement element;
        element.code = a.value("code").toString();
        element.documentBase = base;
        const QString codeBase = a.value("codebase").toString().trimmed();
        QUrl resolved = base.resolved(QUrl(codeBase.isEmpty() ? QStringLiteral(".") : codeBase));
        // A code base names a folder: its classes lie below it.
        if (!resolved.path().endsWith('/'))
            resolved.setPath(resolved.path() + '/');
        element.codeBase = resolved;
        for (const QString& jar : a.value("archive").toString().split(',', Qt::SkipEmptyParts))
            if (!jar.trimmed().isEmpty())
                element.archives << jar.trimmed();
        element.name = a.value("name").toString();
        element.box = QRect(qRound(a.value("left").toDouble()), qRound(a.value("top").toDouble()),
                            a.value("width").toString().trimmed().toInt(), a.value("height").toString().trimmed().toInt());
        for (const QJsonValue& p : a.value("params").toArray()) {
            const QJsonArray pair = p.toArray();
            element.parameters << qMakePair(pair.at(0).toString(), pair.at(1).toString());
        }
        result << element;
    }
    return result;
}
