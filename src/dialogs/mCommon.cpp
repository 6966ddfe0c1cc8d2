// Shared dialog routines: file dialogs, file-name parts, safe names and file checks.
#include "mCommon.h"

#include "platform/NewFile.h"
#include "platform/NumberedError.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QMessageBox>
#include <QRegularExpression>

#include <cerrno>

namespace mCommon {

namespace {

constexpr int kMaxPath = 260;

} // namespace

QString ImageFilter()
{
    QStringList patterns{"*.jpg", "*.jpeg", "*.gif", "*.bmp", "*.wmp", "*.rle", "*.cur", "*.ico", "*.emf"};
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = "*." + QString::fromLatin1(format).toLower();
        if (!patterns.contains(pattern))
            patterns << pattern;
    }
    const QString all = patterns.join(';');
    return all + "|" + all + "|*.*|*.*";
}

QStringList NameFilters(const QString& Filter)
{
    const QStringList parts = Filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QString("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

namespace {

// The folder of the last file chosen in a dialog during this run.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString StartFolder()
{
    if (!lastFolder().isEmpty() && QFileInfo(lastFolder()).isDir())
        return lastFolder();
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

QString JpegFileName(const QString& name)
{
    if (name.isEmpty())
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    // A leading dot starts a hidden file's name, not an extension.
    return (dot > 0 ? name.left(dot) : name) + ".jpg";
}

QString ShowFileDialog(QWidget* owner, bool bSave, const QString& Title, const QString& Filter,
                       const std::optional<QString>& ProposedName, const std::optional<QString>& DefExt,
                       const std::optional<QString>& InitDir)
{
    const QString proposed = ProposedName.value_or(QString());
    if (proposed.size() > kMaxPath) {
        QMessageBox::critical(owner, QGuiApplication::applicationDisplayName(), "FileDialog");
        return {};
    }
    if (owner)
        owner->setEnabled(false);
    // Qt's own dialog on every desktop, so the prompts behave alike everywhere.
    QFileDialog dialog(owner, Title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setAcceptMode(bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(Filter));
    dialog.setDirectory(InitDir ? *InitDir : StartFolder());
    if (DefExt) {
        QString suffix = *DefExt;
        suffix.remove(QRegularExpression("^\\*?\\."));
        dialog.setDefaultSuffix(suffix);
    }
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);

    QString result;
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString chosen = dialog.selectedFiles().constFirst();
        // Opening a name that does not exist: ask whether to create it.
        if (!bSave && !QFileInfo::exists(chosen) &&
            QMessageBox::question(&dialog, Title.isEmpty() ? QGuiApplication::applicationDisplayName() : Title,
                                  QString("%1\nThis file does not exist.\nDo you want to create the file?")
                                      .arg(QFileInfo(chosen).fileName())) != QMessageBox::Yes)
            continue;
        result = chosen;
        lastFolder() = QFileInfo(chosen).absolutePath();
        break;
    }
    if (owner)
        owner->setEnabled(true);
    return result;
}

bool FileExists(const QString& path)
{
    return !path.isEmpty() && platform::fileExists(path);
}

QString GetFilePart(const QString& path, bool bPathOnly)
{
    const qsizetype slash = path.lastIndexOf('/');
    return bPathOnly ? path.left(slash + 1) : path.mid(slash + 1);
}

void DeleteFileIfExists(const QString& path)
{
    if (!FileExists(path))
        return;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    if (!QFile::remove(path))
        throw platform::NumberedError::fileError(errno ? errno : EACCES, path);
}

QString SafeFileName(const QString& name)
{
    QString safe = name;
    for (QChar& c : safe)
        if (c == '/' || c.unicode() < 32 || c.unicode() == 127)
            c = '_';
    if (safe == "." || safe == "..")
        safe = "_";
    return safe;
}

} // namespace mCommon
