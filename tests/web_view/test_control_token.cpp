#include "web_view/control_token.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString kept = u"0123456789abcdef0123456789abcdef"_s;

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0;
}

} // namespace

class TestControlToken : public QObject {
    Q_OBJECT
private slots:
    void keptAcrossStarts_data();
    void keptAcrossStarts();
    void renewedInForceAtOnce();
    void unwritableFolder();
};

void TestControlToken::keptAcrossStarts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("taken");
    QTest::newRow("one token and a line end") << kept.toLatin1() + '\n' << true;
    QTest::newRow("no line end") << kept.toLatin1() << true;
    QTest::newRow("CR LF") << kept.toLatin1() + "\r\n" << true;
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("a digit short") << kept.left(31).toLatin1() << false;
    QTest::newRow("a digit over") << kept.toLatin1() + '0' << false;
    QTest::newRow("capitals") << kept.toUpper().toLatin1() << false;
    QTest::newRow("two lines") << kept.toLatin1() + '\n' + kept.toLatin1() << false;
}

void TestControlToken::keptAcrossStarts()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    // In a folder not made yet, as the state folder at the first start.
    const QString path = dir.filePath(u"state/control-token"_s);
    if (!content.isNull()) {
        QVERIFY(QDir().mkpath(dir.filePath(u"state"_s)));
        put(path, content);
        ::chmod(QFile::encodeName(path).constData(), 0644);
    }
    ControlToken first(path);
    QCOMPARE(first.value(), QString());
    QSignalSpy read(&first, &ControlToken::changed);
    QVERIFY(read.wait(5000));
    QCOMPARE(first.value() == kept, taken);
    QCOMPARE(readControlToken(path), std::optional(first.value()));
    QCOMPARE(modeOf(path), mode_t(0600));

    // The next start, of the view or of the program, has the same token.
    ControlToken second(path);
    QTRY_COMPARE(second.value(), first.value());
}

void TestControlToken::renewedInForceAtOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"control-token"_s);
    put(path, kept.toLatin1());
    ControlToken token(path);
    // Renewed before the file was read: the token read is not taken over the new one.
    token.renew();
    const QString renewed = token.value();
    QVERIFY(renewed != kept && renewed.size() == 32);
    QTRY_COMPARE(readControlToken(path), std::optional(renewed));
    QTest::qWait(50);
    QCOMPARE(token.value(), renewed);
}

void TestControlToken::unwritableFolder()
{
    // A file where the folder should be: no token kept, but one made, and the view runs with it.
    QTemporaryDir dir;
    put(dir.filePath(u"state"_s), "");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot keep the control token in .*state/control-token"_s));
    ControlToken token(dir.filePath(u"state/control-token"_s));
    QTRY_COMPARE(token.value().size(), 32);
}

QTEST_GUILESS_MAIN(TestControlToken)
#include "test_control_token.moc"
