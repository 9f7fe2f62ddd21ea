#include "web_view/control_token.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestControlToken : public QObject {
    Q_OBJECT
private slots:
    void readWhenTheViewStarts_data();
    void readWhenTheViewStarts();
};

void TestControlToken::readWhenTheViewStarts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("taken");
    const QByteArray kept = "0123456789abcdef0123456789abcdef";
    QTest::newRow("one token and a line end") << kept + '\n' << true;
    QTest::newRow("missing, in a folder not made yet") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("a digit short") << kept.left(31) << false;
    QTest::newRow("CR LF, as a Windows editor saves it") << kept + "\r\n" << true;
    QTest::newRow("no line end") << kept << true;
    QTest::newRow("a digit too many") << kept + "0\n" << false;
    QTest::newRow("upper-case digits") << kept.toUpper() + '\n' << false;
    // A file where the folder should be: nothing is kept, but the view runs with a token of its own.
    QTest::newRow("folder unwritable") << QByteArray("folder") << false;
}

void TestControlToken::readWhenTheViewStarts()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"state/control-token"_s);
    const QByteArray localPath = QFile::encodeName(path);
    const bool folderIsFile = content == "folder";
    if (!content.isNull()) {
        QVERIFY(folderIsFile || QDir().mkpath(dir.filePath(u"state"_s)));
        QFile file(folderIsFile ? dir.filePath(u"state"_s) : path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    ::chmod(localPath.constData(), 0644);
    if (folderIsFile)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot keep the control token in "_s));

    ControlToken token(path);
    QTRY_COMPARE(token.value().size(), 32);
    QCOMPARE(token.value() == QString::fromLatin1(content.left(32)), taken);
#ifndef Q_OS_WIN
    struct stat status {};
    QCOMPARE(::stat(localPath.constData(), &status) == 0 ? int(status.st_mode & 0777) : 0, folderIsFile ? 0 : 0600);
#else
    // Windows has no mode bits: the user's own folder's access list keeps the file private.
    QCOMPARE(QFileInfo(path).isFile(), !folderIsFile);
#endif
    if (folderIsFile)
        return;

    // Renewed before its file was read, a token keeps the new one, in the file too.
    ControlToken renewed(path);
    renewed.renew();
    const QString fresh = renewed.value();
    QVERIFY(fresh.size() == 32 && fresh != token.value());
    QTRY_COMPARE(readControlToken(path), std::optional(fresh));
    QCoreApplication::processEvents();
    QCOMPARE(renewed.value(), fresh);
}

QTEST_GUILESS_MAIN(TestControlToken)
#include "test_control_token.moc"
