#include "settings/cp932.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCp932 : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void representableTextRoundTrips();
};

void TestCp932::encode_data()
{
    // Expected bytes in hexadecimal; "none" where the text must not be written in code page 932.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("hex");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ASCII") << u"A,b\"1"_s << QByteArray("412c622231");
    QTest::newRow("backslash") << u"C:\\"_s << QByteArray("433a5c");
    QTest::newRow("kanji and kana") << u"講演の開始から"_s << QByteArray("8d75898982cc8a4a8e6e82a982e7");
    QTest::newRow("trail byte 0x5C") << u"表"_s << QByteArray("955c");
    QTest::newRow("half-width katakana") << u"ｱｲｳ"_s << QByteArray("b1b2b3");
    QTest::newRow("full-width quotation mark") << u"＂"_s << QByteArray("fa57");
    QTest::newRow("full-width tilde") << u"～"_s << QByteArray("8160");
    QTest::newRow("ideographic space") << u"　"_s << QByteArray("8140");
    QTest::newRow("NEC and IBM duplicate written in its first place") << u"≒∵"_s << QByteArray("81e081e6");
    QTest::newRow("IBM extension") << u"ⅰ纊"_s << QByteArray("fa40fa5c");
    QTest::newRow("minus sign reads back as full-width hyphen") << u"−"_s << QByteArray("none");
    QTest::newRow("not sign reads back as full-width not sign") << u"¬"_s << QByteArray("none");
    QTest::newRow("emoji") << u"😀"_s << QByteArray("none");
    QTest::newRow("accented Latin") << u"é"_s << QByteArray("none");
    QTest::newRow("yen sign reads back as backslash") << u"¥"_s << QByteArray("none");
    QTest::newRow("wave dash reads back as full-width tilde") << u"〜"_s << QByteArray("none");
    QTest::newRow("one unfit character spoils the whole") << u"講演😀"_s << QByteArray("none");
}

void TestCp932::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, hex);
    const auto bytes = Cp932::encode(text);
    if (hex == "none") {
        QVERIFY2(!bytes, bytes ? bytes->toHex().constData() : "");
        return;
    }
    QVERIFY(bytes.has_value());
    QCOMPARE(bytes->toHex(), hex);
}

void TestCp932::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("empty") << QByteArray() << QString() << true;
    QTest::newRow("kanji") << QByteArray("\x8d\x75\x89\x89") << u"講演"_s << true;
    QTest::newRow("half-width katakana") << QByteArray("\xb1") << u"ｱ"_s << true;
    QTest::newRow("full-width quotation mark") << QByteArray("\xfa\x57") << u"＂"_s << true;
    QTest::newRow("NEC duplicates and extensions") << QByteArray("\x87\x90\xed\x40\xfa\x40") << u"≒纊ⅰ"_s << true;
    QTest::newRow("user-defined area") << QByteArray("\xf0\x40") << u"\uE000"_s << true;
    QTest::newRow("unassigned pair keeps its second byte") << QByteArray("\x85\x40") << u"\uFFFD@"_s << false;
    QTest::newRow("NUL kept") << QByteArray("a\0b", 3) << QStringView(u"a\0b", 3).toString() << true;
    QTest::newRow("lead byte cut off at the end") << QByteArray("A\x81") << u"A\uFFFD"_s << false;
    QTest::newRow("lead byte before a blank") << QByteArray("\x81 B") << u"\uFFFD B"_s << false;
    QTest::newRow("lead byte before a quote keeps the quote") << QByteArray("\x81\"") << u"\uFFFD\""_s << false;
    QTest::newRow("lead byte before a comma keeps the comma") << QByteArray("\x81,1") << u"\uFFFD,1"_s << false;
    QTest::newRow("lead byte before a line end") << QByteArray("\x81\r\n") << u"\uFFFD\r\n"_s << false;
    QTest::newRow("bytes with no character")
        << QByteArray("\x80\xa0\xfd\xfe\xff") << u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"_s << false;
    QTest::newRow("valid text after an invalid byte") << QByteArray("\xff\x8d\x75") << u"\uFFFD講"_s << false;
}

void TestCp932::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    bool allValid = !valid;
    QCOMPARE(Cp932::decode(bytes, &allValid), text);
    QCOMPARE(allValid, valid);
}

void TestCp932::representableTextRoundTrips()
{
    // Characters a heading or a Japanese path is made of, all with a code page 932 form.
    const QString pool = u"講演の開始から発表時間終了まで質疑応答超過は表示形式上下段ソ能予"
                         u"ａｂｃＡＢＣ０１２３！？（）＂，．　ｱｲｳｴｵﾞﾟ"
                         u"abcXYZ019 ,.\\/\"_-~'"_s;
    QRandomGenerator random(932);
    for (int i = 0; i < 2000; ++i) {
        QString text;
        const int length = int(random.bounded(20));
        for (int j = 0; j < length; ++j)
            text += pool.at(qsizetype(random.bounded(quint32(pool.size()))));
        const auto bytes = Cp932::encode(text);
        QVERIFY2(bytes.has_value(), qPrintable(text));
        bool valid = false;
        QCOMPARE(Cp932::decode(*bytes, &valid), text);
        QVERIFY(valid);
    }
}

QTEST_GUILESS_MAIN(TestCp932)
#include "test_cp932.moc"
