// Tests of the shared dialog routines: file-name parts, safe names, filters, file checks.
#include "dialogs/mCommon.h"

#include "platform/NumberedError.h"
#include "support/Dialogs.h"
#include "support/Files.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <QImageReader>

#include <gtest/gtest.h>

using namespace mCommon;

TEST(FileRoutines, GetFilePart)
{
    EXPECT_EQ(GetFilePart("/home/me/pictures/cat.gif", false), "cat.gif");
    EXPECT_EQ(GetFilePart("/home/me/pictures/cat.gif", true), "/home/me/pictures/");
    EXPECT_EQ(GetFilePart("cat.gif", false), "cat.gif");
    EXPECT_EQ(GetFilePart("cat.gif", true), "");
    EXPECT_EQ(GetFilePart("/home/me/", false), "");
    EXPECT_EQ(GetFilePart("/home/me/", true), "/home/me/");
}

TEST(FileRoutines, JpegFileNames)
{
    EXPECT_EQ(mCommon::JpegFileName("chelsea.gif"), "chelsea.jpg");
    EXPECT_EQ(mCommon::JpegFileName("my.holiday.png"), "my.holiday.jpg");
    EXPECT_EQ(mCommon::JpegFileName("photo.jpg"), "photo.jpg");
    EXPECT_EQ(mCommon::JpegFileName("README"), "README.jpg");
    EXPECT_EQ(mCommon::JpegFileName(".hidden"), ".hidden.jpg");
    EXPECT_EQ(mCommon::JpegFileName(""), "");
}

TEST(FileRoutines, FileExistsAndDelete)
{
    QTemporaryDir dir;
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.path())); // a folder
    const QString hidden = dir.filePath(".hidden");
    testsupport::writeFile(hidden, "x");
    QFile::setPermissions(hidden, QFileDevice::ReadOwner);
    EXPECT_TRUE(FileExists(hidden));
    DeleteFileIfExists(hidden); // read-only goes too
    EXPECT_FALSE(QFile::exists(hidden));
    DeleteFileIfExists(dir.filePath("none")); // nothing there, no error
    EXPECT_EQ(SafeFileName("Garden/Back door\n"), "Garden_Back door_");
    EXPECT_EQ(SafeFileName(".."), "_");
}

TEST(FileDialog, FiltersAreNamedByTheirPatterns)
{
    EXPECT_EQ(NameFilters(kJpegFilter), (QStringList{"*.jpg;*.jpeg (*.jpg *.jpeg)", "*.* (*.*)"}));
    // The image filter lists every type the reader knows, PNG among them.
    const QStringList images = NameFilters(ImageFilter());
    ASSERT_EQ(images.size(), 2);
    EXPECT_TRUE(images[0].startsWith("*.jpg;*.jpeg;*.gif;*.bmp;")) << qPrintable(images[0]);
    const QStringList patterns = images[0].section('(', 1).chopped(1).split(' ');
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        EXPECT_TRUE(patterns.contains("*." + QString(format).toLower())) << format.constData();
}

TEST(FileDialog, ChoosesDisablesTheOwnerAndAddsTheExtension)
{
    QTemporaryDir dir;
    QWidget owner;
    owner.show();
    bool ownerWasDisabled = false;
    QStringList filters;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        ownerWasDisabled = !owner.isEnabled();
        filters = dialog.nameFilters();
        EXPECT_EQ(dialog.selectedNameFilter(), filters.value(0));
        testsupport::typeAndAccept(dialog, dir.filePath("snapshot"));
    });
    const QString path = ShowFileDialog(&owner, true, "", kJpegFilter, QString("proposed.jpg"), QString("*.jpg"));
    EXPECT_EQ(path, dir.filePath("snapshot.jpg"));
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(owner.isEnabled());

    testsupport::cancelNextFileDialog();
    EXPECT_EQ(ShowFileDialog(&owner, false, "", ImageFilter()), "");
    EXPECT_TRUE(owner.isEnabled());
}

TEST(FileDialog, OpensInPicturesFirstThenWhereTheLastFileWasChosen)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QDir(home.path()).mkdir("Pictures");
    // Each test runs in a process of its own: no dialog has been used yet.
    const QString before = mCommon::StartFolder();
    EXPECT_EQ(before, QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QDir(home.path()).mkdir("elsewhere");
    QString seen;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        seen = dialog.directory().absolutePath();
        testsupport::typeAndAccept(dialog, home.filePath("elsewhere/shot.jpg"));
    });
    mCommon::ShowFileDialog(nullptr, true, QString(), mCommon::kJpegFilter, QString("shot"));
    EXPECT_EQ(seen, before);
    EXPECT_EQ(mCommon::StartFolder(), home.filePath("elsewhere"));
    qputenv("HOME", oldHome);
}

TEST(FileDialog, ProposedNamesUpTo260Characters)
{
    QWidget owner;
    testsupport::cancelNextFileDialog();
    EXPECT_EQ(ShowFileDialog(&owner, true, "", kJpegFilter, QString(260, 'a')), ""); // shown, then cancelled
    QString text;
    testsupport::answerNextMessageBox(QMessageBox::Ok, &text);
    EXPECT_EQ(ShowFileDialog(&owner, true, "", kJpegFilter, QString(261, 'a')), "");
    EXPECT_EQ(text, "FileDialog");
    EXPECT_TRUE(owner.isEnabled());
}

TEST(FileDialog, PromptsBeforeReplacingAndBeforeCreating)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath("old.jpg");
    testsupport::writeFile(existing, "old");
    QWidget owner;
    // Replacing: the dialog asks; "yes" takes the name.
    testsupport::chooseInNextFileDialog(existing);
    QString question;
    testsupport::answerNextMessageBox(QMessageBox::Yes, &question);
    EXPECT_EQ(ShowFileDialog(&owner, true, "", kJpegFilter), existing);
    EXPECT_TRUE(question.contains("old.jpg")) << question.toStdString();

    // Opening a name that does not exist: asked to create it.
    const QString missing = dir.filePath("new.gif");
    testsupport::chooseInNextFileDialog(missing);
    testsupport::answerNextMessageBox(QMessageBox::Yes, &question);
    EXPECT_EQ(ShowFileDialog(&owner, false, "", ImageFilter()), missing);
    EXPECT_TRUE(question.contains("does not exist")) << question.toStdString();
}
