#include "remote_control/single_instance.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// The settings file a copy runs for; only its path matters here.
const QString iniPath = QDir::temp().filePath(u"lectern-test-single-instance/Lectern.ini"_s);

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void oneCopyPerSettingsFile_data();
    void oneCopyPerSettingsFile();
    void lockFolder_data();
    void lockFolder();
    void laterStartsDeliver();
    void callersWithinBounds();
};

void TestSingleInstance::oneCopyPerSettingsFile_data()
{
    // Paths of a running copy and a later start; b/Lectern.ini links to a/Lectern.ini, "link" to the folder a.
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("started");
    QTest::addColumn<bool>("bothRun");
#ifdef Q_OS_WIN
    constexpr bool windows = true;
#else
    constexpr bool windows = false;
#endif
    QTest::newRow("doubled slash") << u"a/Lectern.ini"_s << u"a//Lectern.ini"_s << false;
    // Windows names one file in any case and with either slash; elsewhere these are other files.
    QTest::newRow("letters in another case") << u"a/Lectern.ini"_s << u"A/LECTERN.INI"_s << !windows;
    QTest::newRow("backslash") << u"a/Lectern.ini"_s << u"a\\Lectern.ini"_s << !windows;
    QTest::newRow("linked folder") << u"a/Lectern.ini"_s << u"link/Lectern.ini"_s << false;
    QTest::newRow("folder not made yet") << u"a/new/Lectern.ini"_s << u"link/new/Lectern.ini"_s << false;
    QTest::newRow("two folders, one file") << u"a/Lectern.ini"_s << u"b/Lectern.ini"_s << false;
    QTest::newRow("another file") << u"a/Lectern.ini"_s << u"b/other.ini"_s << true;
}

void TestSingleInstance::oneCopyPerSettingsFile()
{
    QFETCH(QString, running);
    QFETCH(QString, started);
    QFETCH(bool, bothRun);
    QTemporaryDir runtime, dir; // made 0700, as a session's runtime folder is
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString root = dir.path() + u'/';
    QFile ini(root + u"a/Lectern.ini"_s);
    QVERIFY(QDir(root).mkpath(u"a"_s) && QDir(root).mkpath(u"b"_s) && ini.open(QIODevice::WriteOnly));
    if ((running + started).contains(u"link/"_s) || started.startsWith(u"b/Lectern"_s)) {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut on Windows, which is not a link the system follows");
#endif
        QVERIFY(ini.link(root + u"b/Lectern.ini"_s) && QFile::link(root + u"a"_s, root + u"link"_s));
    }

    SingleInstance first(root + running), second(root + started);
    QCOMPARE(first.claim(), SingleInstance::Claim::Ours);
    QCOMPARE(second.claim(), bothRun ? SingleInstance::Claim::Ours : SingleInstance::Claim::Running);
}

void TestSingleInstance::lockFolder_data()
{
#ifdef Q_OS_WIN
    QSKIP("a named pipe needs no folder");
#else
    // The session's and the user's runtime folders, and whether a folder open to all is in the temporary folder
    // under the program's name: the folder the socket is made in, none when later starts cannot reach the copy.
    QTest::addColumn<QString>("session");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("planted");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("no session folder: the user's") << QString() << u"own"_s << false << u"own"_s;
    QTest::newRow("session folder open to others") << u"open"_s << u"own"_s << false << u"own"_s;
    QTest::newRow("user's folder open to others")
        << QString() << u"open"_s << false << u"tmp/lectern-%1"_s.arg(::geteuid());
    QTest::newRow("planted in the temporary folder") << QString() << u"missing"_s << true << QString();
    QTest::newRow("socket path too long") << QString(120, u'x') << u"own"_s << false << QString();
#endif
}

void TestSingleInstance::lockFolder()
{
#ifndef Q_OS_WIN
    QFETCH(QString, session);
    QFETCH(QString, user);
    QFETCH(bool, planted);
    QFETCH(QString, chosen);
    QTemporaryDir root;
    QDir dir(root.path());
    for (const QString& name : {u"own"_s, u"open"_s, u"tmp"_s, QString(120, u'x')})
        QVERIFY(dir.mkdir(name, QFile::Permissions(name == u"open"_s || name == u"tmp"_s ? 0x7755 : 0x7700)));
    QVERIFY(!planted || dir.mkdir(u"tmp/lectern-%1"_s.arg(::geteuid()), QFile::Permissions(0x7777)));
    const auto at = [&dir](const QString& name) {
        return name.isEmpty() ? name : dir.filePath(name);
    };

    SingleInstance instance(iniPath, {at(session), at(user), at(u"tmp"_s)});
    QCOMPARE(instance.claim(), chosen.isEmpty() ? SingleInstance::Claim::Unreachable : SingleInstance::Claim::Ours);
    QStringList sockets; // the folders holding one
    for (QDirIterator it(root.path(), {u"*.socket"_s}, QDir::System, QDirIterator::Subdirectories); it.hasNext();)
        sockets << dir.relativeFilePath(it.nextFileInfo().path());
    QCOMPARE(sockets, chosen.isEmpty() ? QStringList() : QStringList{chosen});
#endif
}

void TestSingleInstance::laterStartsDeliver()
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    // A later start waits for the running copy, whose event loop must go on meanwhile: it sends from a thread.
    const auto sendAside = [](const QByteArray& lines, QByteArray* answer) {
        std::atomic<int> sent{-1};
        std::thread sender([&] { sent = SingleInstance::send(iniPath, lines, answer) ? 1 : 0; });
        static_cast<void>(QTest::qWaitFor([&] { return sent >= 0; }, 5000));
        sender.join();
        return sent == 1;
    };
    QVERIFY(!sendAside("pause\n", nullptr));

    SingleInstance instance(iniPath);
    QCOMPARE(instance.claim(), SingleInstance::Claim::Ours);
    instance.setControlAddress([] { return u"http://192.0.2.1:8480/#token=abc"_s; });
    QSignalSpy commands(&instance, &SingleInstance::commandRequested);
    QVERIFY(sendAside("pause\nadjust=-10\n", nullptr));
    QTRY_COMPARE(commands.size(), 2);
    QCOMPARE(commands.at(1).at(0).value<CountCommand>(), (CountCommand{CountCommand::Name::Adjust, -10.0}));
    // The answer is read after the running copy has closed its end.
    QByteArray reply;
    QVERIFY(sendAside("control-url\n", &reply));
    QCOMPARE(reply, "http://192.0.2.1:8480/#token=abc");
}

void TestSingleInstance::callersWithinBounds()
{
    QTemporaryDir runtime;
    SingleInstance instance(iniPath, {runtime.path(), {}, {}});
    QCOMPARE(instance.claim(), SingleInstance::Claim::Ours);
    QSignalSpy fronts(&instance, &SingleInstance::activationRequested);
    QLocalSocket callers[19];
    const auto call = [&](int k, const QByteArray& sent) {
        callers[k].connectToServer(instance.address());
        callers[k].write(sent);
    };
    // Sixteen callers are held; one more is heard, and the oldest cut off to make room for it.
    for (int k = 0; k < 17; ++k) {
        call(k, "front\n");
        QTRY_COMPARE(fronts.size(), k + 1);
    }
    QTRY_COMPARE(callers[0].state(), QLocalSocket::UnconnectedState);
    QCOMPARE(callers[1].state(), QLocalSocket::ConnectedState);
    // Two seconds without a whole line, whether after one or from the start, cut a caller off.
    call(17, "fro");
    QTRY_COMPARE(callers[1].state(), QLocalSocket::UnconnectedState);
    for (QLocalSocket& caller : callers)
        QTRY_COMPARE_WITH_TIMEOUT(caller.state(), QLocalSocket::UnconnectedState, 2500);

#ifdef Q_OS_WIN
    QSKIP("a process has no limit of handles to run out of");
#else
    // With every descriptor taken a caller waits, and the program does not wake again and again to take it.
    call(18, {});
    rlimit limits{}, saved{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    limits = {std::min<rlim_t>(saved.rlim_cur, 512), saved.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limits), 0);
    std::vector<int> taken;
    for (int fd; (fd = ::dup(STDERR_FILENO)) >= 0;)
        taken.push_back(fd);
    const std::clock_t before = std::clock();
    QTest::qWait(500);
    const std::clock_t processor = std::clock() - before;
    for (const int fd : taken)
        ::close(fd);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    QVERIFY2(processor < CLOCKS_PER_SEC / 7,
             qPrintable(u"%1 ms of processor in 500 ms"_s.arg(processor * 1000 / CLOCKS_PER_SEC)));
    // Free again, it is taken, and cut off in its turn.
    QTRY_COMPARE_WITH_TIMEOUT(callers[18].state(), QLocalSocket::UnconnectedState, 2500);
#endif
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
