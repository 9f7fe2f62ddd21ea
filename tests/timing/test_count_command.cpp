#include "timing/count_command.h"

#include <QTest>

namespace {

using Name = CountCommand::Name;
// An expected command that is none.
constexpr int refused = -1;

} // namespace

class TestCountCommand : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void textForm_data();
    void textForm();
};

void TestCountCommand::parse_data()
{
    // The text form, as the socket and a later start's command line give it; `apart` splits it at '=' for the
    // browser view's form, name and argument given apart. -1: refused.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("name");
    QTest::addColumn<double>("seconds");
    QTest::newRow("pause") << QByteArray("pause") << int(Name::Pause) << 0.0;
    QTest::newRow("rehearsal") << QByteArray("rehearsal") << int(Name::Rehearsal) << 0.0;
    QTest::newRow("bell") << QByteArray("bell") << int(Name::Bell) << 0.0;
    QTest::newRow("back") << QByteArray("adjust=-30") << int(Name::Adjust) << -30.0;
    QTest::newRow("on, signed, a fraction") << QByteArray("adjust=+2.5") << int(Name::Adjust) << 2.5;
    QTest::newRow("no digit before the point") << QByteArray("adjust=.5") << int(Name::Adjust) << 0.5;
    QTest::newRow("no digit after the point") << QByteArray("adjust=5.") << int(Name::Adjust) << 5.0;
    QTest::newRow("a day on") << QByteArray("adjust=86400") << int(Name::Adjust) << 86400.0;
    QTest::newRow("a day back") << QByteArray("adjust=-86400.000") << int(Name::Adjust) << -86400.0;
    QTest::newRow("past a day") << QByteArray("adjust=86400.001") << refused << 0.0;
    QTest::newRow("digits past a double") << "adjust=" + QByteArray(400, '9') << refused << 0.0;
    QTest::newRow("exponent") << QByteArray("adjust=1e3") << refused << 0.0;
    QTest::newRow("infinity") << QByteArray("adjust=inf") << refused << 0.0;
    QTest::newRow("not a number") << QByteArray("adjust=nan") << refused << 0.0;
    QTest::newRow("hexadecimal") << QByteArray("adjust=0x10") << refused << 0.0;
    QTest::newRow("space before") << QByteArray("adjust= 5") << refused << 0.0;
    QTest::newRow("space after") << QByteArray("adjust=5 ") << refused << 0.0;
    QTest::newRow("two signs") << QByteArray("adjust=+-5") << refused << 0.0;
    QTest::newRow("two points") << QByteArray("adjust=1.2.3") << refused << 0.0;
    QTest::newRow("a point alone") << QByteArray("adjust=.") << refused << 0.0;
    QTest::newRow("a sign alone") << QByteArray("adjust=-") << refused << 0.0;
    QTest::newRow("no seconds") << QByteArray("adjust=") << refused << 0.0;
    QTest::newRow("adjust alone") << QByteArray("adjust") << refused << 0.0;
    QTest::newRow("seconds for a command without") << QByteArray("pause=1") << refused << 0.0;
    QTest::newRow("empty argument for a command without") << QByteArray("skip=") << refused << 0.0;
    QTest::newRow("other case") << QByteArray("Pause") << refused << 0.0;
    QTest::newRow("unknown") << QByteArray("check") << refused << 0.0;
    QTest::newRow("nothing") << QByteArray() << refused << 0.0;
}

void TestCountCommand::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(int, name);
    QFETCH(double, seconds);
    const std::optional<CountCommand> expected =
        name == refused ? std::nullopt : std::optional(CountCommand{Name(name), seconds});
    QCOMPARE(parseCountCommand(text), expected);
    // Given apart, as the browser view gives it: the same, except that a name alone takes an empty argument.
    const qsizetype equals = text.indexOf('=');
    const QByteArray given = equals < 0 ? text : text.first(equals);
    const QByteArray argument = equals < 0 ? QByteArray() : text.sliced(equals + 1);
    if (text != "adjust" && text != "skip=")
        QCOMPARE(parseCountCommand(given, argument), expected);
}

void TestCountCommand::textForm_data()
{
    QTest::addColumn<int>("name");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("readBack");
    QTest::newRow("restart") << int(Name::Restart) << 0.0 << QByteArray("restart") << 0.0;
    QTest::newRow("whole seconds") << int(Name::Adjust) << -30.0 << QByteArray("adjust=-30") << -30.0;
    QTest::newRow("a fraction") << int(Name::Adjust) << 2.5 << QByteArray("adjust=2.5") << 2.5;
    QTest::newRow("a day") << int(Name::Adjust) << 86400.0 << QByteArray("adjust=86400") << 86400.0;
    QTest::newRow("to the microsecond") << int(Name::Adjust) << 1.0 / 3.0 << QByteArray("adjust=0.333333") << 0.333333;
    QTest::newRow("below a microsecond") << int(Name::Adjust) << 1e-20 << QByteArray("adjust=0") << 0.0;
    QTest::newRow("longest") << int(Name::Adjust) << -86399.9999999 << QByteArray("adjust=-86400") << -86400.0;
}

void TestCountCommand::textForm()
{
    QFETCH(int, name);
    QFETCH(double, seconds);
    QFETCH(QByteArray, text);
    QFETCH(double, readBack);
    QCOMPARE(countCommandText({Name(name), seconds}), text);
    QCOMPARE(parseCountCommand(text), std::optional(CountCommand{Name(name), readBack}));
}

QTEST_GUILESS_MAIN(TestCountCommand)
#include "test_count_command.moc"
