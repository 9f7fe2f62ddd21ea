#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

/// A save killed at any moment leaves the old file or the new one, and the next save clears what it left.
class TestKilledSave : public QObject {
    Q_OBJECT
private slots:
    void killedSaveLeavesAWholeFile();
};

void TestKilledSave::killedSaveLeavesAWholeFile()
{
    const QString saver = QCoreApplication::applicationDirPath() + u"/save_in_a_loop"_s;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Lectern.ini"_s);
    const QByteArray first(48 * 1024, 'a');
    const QByteArray second(40 * 1024, 'b');
    QRandomGenerator random(20261207);

    int kills = 0;
    for (int round = 0; round < 60; ++round) {
        QProcess child;
        child.start(saver, {path});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QVERIFY2(child.waitForReadyRead(5000), "the saver never saved");
        QTest::qSleep(int(random.bounded(12)));
        // A child that stopped on its own failed to save.
        QCOMPARE(child.state(), QProcess::Running);
        child.kill(); // SIGKILL; TerminateProcess on Windows
        QVERIFY(child.waitForFinished(5000));
        ++kills;

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY2(content == first || content == second,
                 qPrintable(u"torn file of %1 bytes after kill %2"_s.arg(content.size()).arg(kills)));
        // Each save removes what the one before it left, so no more than one leftover can ever be there.
        const QStringList leftovers =
            QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u".Lectern.ini.saving-"_s);
        QVERIFY2(leftovers.size() <= 1, qPrintable(leftovers.join(u' ')));
    }
    QCOMPARE(kills, 60);
}

QTEST_GUILESS_MAIN(TestKilledSave)
#include "test_killed_save.moc"
