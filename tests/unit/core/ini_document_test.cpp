#include "core/ini_document.h"

#include <gtest/gtest.h>

#include <random>

using pvx::core::IniDocument;

namespace {

IniDocument parse(const char *text)
{
    return IniDocument::parse(QByteArray(text));
}

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

} // namespace

TEST(IniDocument, NamesAreCaseInsensitiveAndTrimmed)
{
    const IniDocument doc = parse("[ porVIX ]\r\n  numsessions = 3 \r\n[SESSION1]\r\nLocalIP=  10.0.0.1\t\r\n");
    EXPECT_EQ(doc.readInt(text("Porvix"), text("NumSessions"), 0), 3);
    EXPECT_EQ(doc.readInt(text(" PORVIX "), text(" NUMSESSIONS"), 0), 3);
    EXPECT_EQ(doc.readString(text("session1"), text("localip"), {}), text("10.0.0.1"));
    EXPECT_TRUE(doc.hasSection(text("Session1")));
    EXPECT_FALSE(doc.hasSection(text("Session2")));
}

TEST(IniDocument, MissingThingsGiveTheDefault)
{
    const IniDocument empty;
    EXPECT_EQ(empty.readInt(text("Porvix"), text("PacketSize"), 2000), 2000);
    EXPECT_EQ(empty.readString(text("Session1"), text("UserPrompt"), text("Username:")), text("Username:"));

    const IniDocument doc = parse("[Porvix]\nEmpty=\nBlank=   \n");
    EXPECT_EQ(doc.readInt(text("Porvix"), text("Missing"), 7), 7);
    EXPECT_EQ(doc.readInt(text("Other"), text("Empty"), 7), 7);
    // An empty value is present for texts but counts as missing for numbers.
    EXPECT_EQ(doc.readInt(text("Porvix"), text("Empty"), 7), 7);
    EXPECT_EQ(doc.readInt(text("Porvix"), text("Blank"), 7), 7);
    EXPECT_EQ(doc.readString(text("Porvix"), text("Empty"), text("dflt")), QString());
}

TEST(IniDocument, ReadsIntegersWithPrefixesAndWrapping)
{
    const struct {
        const char *value;
        int expected;
    } cases[] = {
        {"12", 12},
        {" 7", 7},
        {"-1", -1},
        {"+5", 5},
        {"0x10", 16},
        {"0X1f", 31},
        {"-0x10", -16},
        {"0o17", 15},
        {"0b101", 5},
        {"0x", 0},
        {"012", 12},
        {"12abc", 12},
        {"1 2", 1},
        {"abc", 0},
        {"-", 0},
        {"\"42\"", 42},
        {"99999999999", 1215752191},
        {"4294967295", -1},
        {"2147483648", -2147483647 - 1},
    };
    for (const auto &c : cases) {
        const IniDocument doc = IniDocument::parse(QByteArray("[S]\nk=") + c.value + '\n');
        EXPECT_EQ(doc.readInt(text("S"), text("k"), -99), c.expected) << c.value;
    }
}

TEST(IniDocument, TextsLoseBlanksAndOnePairOfQuotes)
{
    const struct {
        const char *line;
        const char *expected;
    } cases[] = {
        {"k=  plain text  ", "plain text"},
        {"k=\"quoted\"", "quoted"},
        {"k='single'", "single"},
        {"k=\" inner blanks \"", " inner blanks "},
        {"k=\"mismatched'", "\"mismatched'"},
        {"k=\"", "\""},
        {"k=\"\"", ""},
        {"k=a=b ; not a comment", "a=b ; not a comment"},
    };
    for (const auto &c : cases) {
        const IniDocument doc = IniDocument::parse(QByteArray("[S]\n") + c.line + '\n');
        EXPECT_EQ(doc.readString(text("S"), text("k"), {}), QString::fromUtf8(c.expected)) << c.line;
    }
}

TEST(IniDocument, TextsAreCutTo199CodePoints)
{
    const auto read = [](const QString &value) {
        IniDocument doc;
        doc.writeString(QStringLiteral("S"), QStringLiteral("k"), value);
        return IniDocument::parse(doc.toBytes()).readString(QStringLiteral("S"), QStringLiteral("k"), {});
    };
    EXPECT_EQ(read(QString(250, QLatin1Char('a'))), QString(199, QLatin1Char('a')));
    EXPECT_EQ(read(QString(199, QLatin1Char('a'))), QString(199, QLatin1Char('a')));

    const QString kana(250, QChar(0x30AB)); // three bytes each in UTF-8
    EXPECT_EQ(read(kana), kana.left(199));

    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // a surrogate pair in UTF-16
    const QString pairAtCut = QString(198, QLatin1Char('a')) + smile + QStringLiteral("bbb");
    EXPECT_EQ(read(pairAtCut), QString(198, QLatin1Char('a')) + smile);
    QString pairs;
    for (int i = 0; i < 250; ++i)
        pairs += smile;
    EXPECT_EQ(read(pairs).size(), 2 * 199);

    EXPECT_EQ(IniDocument().readString(QStringLiteral("S"), QStringLiteral("k"), QString(300, QLatin1Char('d'))),
              QString(199, QLatin1Char('d')));
}

TEST(IniDocument, ReplacesAValueInPlaceAndKeepsEverythingElse)
{
    const QByteArray input = "; written by hand\n"
                             "\n"
                             "[Porvix]\n"
                             "# another comment\n"
                             "NumSessions = 2\n"
                             "Junk \xFF\xFE\x01 line without equals\n"
                             "Password=\xC3\x28old\n"
                             "\n"
                             "[Session1]\n"
                             "Connector=3\n";
    IniDocument doc = IniDocument::parse(input);
    doc.writeString(QStringLiteral("porvix"), QStringLiteral("numsessions"), QStringLiteral("5"));
    doc.writeString(QStringLiteral("Session1"), QStringLiteral("Connector"), QStringLiteral("4"));

    const QByteArray expected = "; written by hand\r\n"
                                "\r\n"
                                "[Porvix]\r\n"
                                "# another comment\r\n"
                                "NumSessions = 5\r\n"
                                "Junk \xFF\xFE\x01 line without equals\r\n"
                                "Password=\xC3\x28old\r\n"
                                "\r\n"
                                "[Session1]\r\n"
                                "Connector=4\r\n";
    EXPECT_EQ(doc.toBytes(), expected);
    // Invalid bytes read as replacement characters.
    EXPECT_EQ(doc.readString(QStringLiteral("Porvix"), QStringLiteral("Password"), {}),
              QString(QChar::ReplacementCharacter) + QStringLiteral("(old"));
}

TEST(IniDocument, AddsKeysAfterTheLastKeyOfTheirSection)
{
    IniDocument doc = parse("[A]\n"
                            "one=1\n"
                            "; trailing comment\n"
                            "\n"
                            "[Empty]\n"
                            "[B]\n"
                            "x=1\n");
    doc.writeString(QStringLiteral("a"), QStringLiteral("Two"), QStringLiteral("2"));
    doc.writeString(QStringLiteral("Empty"), QStringLiteral("First"), QStringLiteral("f"));
    doc.writeString(QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("v"));
    EXPECT_EQ(doc.toBytes(), QByteArray("[A]\r\n"
                                        "one=1\r\n"
                                        "Two=2\r\n"
                                        "; trailing comment\r\n"
                                        "\r\n"
                                        "[Empty]\r\n"
                                        "First=f\r\n"
                                        "[B]\r\n"
                                        "x=1\r\n"
                                        "\r\n"
                                        "[New]\r\n"
                                        "Key=v\r\n"));

    IniDocument fresh;
    fresh.writeString(QStringLiteral("Porvix"), QStringLiteral("NumSessions"), QStringLiteral("0"));
    fresh.writeString(QStringLiteral("Porvix"), QStringLiteral("PacketSize"), QStringLiteral("2000"));
    EXPECT_EQ(fresh.toBytes(), QByteArray("[Porvix]\r\nNumSessions=0\r\nPacketSize=2000\r\n"));
    EXPECT_EQ(IniDocument().toBytes(), QByteArray());
}

TEST(IniDocument, FirstOfDuplicatedSectionsAndKeysWins)
{
    IniDocument doc = parse("[S]\nk=first\nk=second\n[s]\nk=third\nonly=later\n");
    EXPECT_EQ(doc.readString(text("S"), text("k"), {}), text("first"));
    EXPECT_EQ(doc.readString(text("S"), text("only"), text("none")), text("none"));
    EXPECT_EQ(doc.keys(text("S")), QStringList{text("k")});

    doc.writeString(text("S"), text("K"), text("new"));
    doc.writeString(text("S"), text("only"), text("added"));
    EXPECT_EQ(doc.toBytes(), QByteArray("[S]\r\nk=new\r\nk=second\r\nonly=added\r\n[s]\r\nk=third\r\nonly=later\r\n"));
}

TEST(IniDocument, KeysAboveTheFirstSectionAreIgnored)
{
    IniDocument doc = parse("\xEF\xBB\xBF" "stray=1\n[S]\nother=2\n");
    EXPECT_EQ(doc.readInt(text("S"), text("stray"), 9), 9);
    doc.writeString(text("S"), text("stray"), text("3"));
    EXPECT_EQ(doc.toBytes(), QByteArray("\xEF\xBB\xBF" "stray=1\r\n[S]\r\nother=2\r\nstray=3\r\n"));
}

TEST(IniDocument, AByteOrderMarkDoesNotHideTheFirstSection)
{
    const IniDocument doc = parse("\xEF\xBB\xBF[Porvix]\r\nNumSessions=2\r\n");
    EXPECT_EQ(doc.readInt(text("Porvix"), text("NumSessions"), 0), 2);
    EXPECT_TRUE(doc.toBytes().startsWith("\xEF\xBB\xBF[Porvix]\r\n"));
}

TEST(IniDocument, LineBreaksInArgumentsCannotAddLines)
{
    IniDocument doc;
    doc.writeString(text("S"), text("k"), text("a\r\n[Evil]\r\nx=1\nb"));
    doc.writeString(text("S"), text("bad\nkey"), text("v"));
    doc.writeString(text("T\r\n[U]"), text("k"), text("v"));
    doc.writeString(text(" "), text("k"), text("ignored"));
    doc.writeString(text("S"), text(""), text("ignored"));

    const IniDocument reread = IniDocument::parse(doc.toBytes());
    EXPECT_FALSE(reread.hasSection(text("Evil")));
    EXPECT_FALSE(reread.hasSection(text("U")));
    EXPECT_EQ(reread.readString(text("S"), text("k"), {}), text("a  [Evil]  x=1 b"));
    EXPECT_EQ(reread.keys(text("S")), (QStringList{text("k"), text("bad key")}));
    EXPECT_EQ(reread.readString(text("T  [U]"), text("k"), {}), text("v"));
    EXPECT_EQ(doc.toBytes().count("\r\n"), 6);
}

TEST(IniDocument, ReadsLfAndCrLfAlike)
{
    const IniDocument lf = parse("[S]\nk=v\nn=1\n");
    const IniDocument crlf = parse("[S]\r\nk=v\r\nn=1\r\n");
    const IniDocument noFinalBreak = parse("[S]\r\nk=v\r\nn=1");
    for (const IniDocument *doc : {&lf, &crlf, &noFinalBreak}) {
        EXPECT_EQ(doc->readString(text("S"), text("k"), {}), text("v"));
        EXPECT_EQ(doc->readInt(text("S"), text("n"), 0), 1);
        EXPECT_EQ(doc->toBytes(), QByteArray("[S]\r\nk=v\r\nn=1\r\n"));
    }
}

TEST(IniDocument, KeysListsTheSectionInFileOrder)
{
    const IniDocument doc = parse("[Ports]\n  COM3 = /dev/ttyUSB0\n; COM9=/dev/x\ncom1=/dev/ttyS0\nCOM3=/dev/dup\nnoequals\n");
    EXPECT_EQ(doc.keys(text("ports")), (QStringList{text("COM3"), text("com1")}));
    EXPECT_TRUE(doc.keys(text("Missing")).isEmpty());
}

TEST(IniDocument, RandomBytesNeverBreakIt)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 300);
    std::vector<QByteArray> lines;
    QByteArray input;
    for (int i = 0; i < 2000; ++i) {
        QByteArray line;
        const int size = length(random);
        for (int j = 0; j < size; ++j) {
            char c = static_cast<char>(byte(random));
            line.append(c == '\n' || c == '\r' ? 'x' : c);
        }
        lines.push_back(line);
        input += line + '\n';
    }
    IniDocument doc = IniDocument::parse(input);
    (void)doc.readInt(text("S"), text("k"), 0);
    (void)doc.readString(text("S"), text("k"), {});
    doc.writeString(text("Porvix"), text("NumSessions"), text("1"));
    EXPECT_EQ(doc.readInt(text("Porvix"), text("NumSessions"), 0), 1);

    // Whatever happened to the one written line, every other line is intact.
    const QList<QByteArray> written = doc.toBytes().split('\n');
    qsizetype matched = 0;
    for (const QByteArray &line : written) {
        if (matched < static_cast<qsizetype>(lines.size()) && line == lines[static_cast<std::size_t>(matched)] + '\r')
            ++matched;
    }
    EXPECT_GE(matched, static_cast<qsizetype>(lines.size()) - 1);
}

TEST(IniDocument, HandlesLinesOfMegabytes)
{
    const QByteArray huge(4 * 1024 * 1024, 'x');
    const QByteArray input = "[S]\n" + huge + "\nbig=" + huge + "\n" + huge + "=" + huge + "\n";
    IniDocument doc = IniDocument::parse(input);
    EXPECT_EQ(doc.readString(text("S"), text("big"), {}), QString(199, QLatin1Char('x')));
    EXPECT_EQ(doc.readInt(text("S"), text("big"), 5), 0);
    doc.writeString(text("S"), text("small"), text("1"));
    EXPECT_EQ(doc.toBytes(), "[S]\r\n" + huge + "\r\nbig=" + huge + "\r\n" + huge + "=" + huge + "\r\nsmall=1\r\n");
}

TEST(IniDocument, EveryWrittenTextReadsBackExactly)
{
    const struct {
        const char *value;
        const char *line; // the line written into a new section
    } cases[] = {
        {"plain text", "k=plain text"},
        {"\"/opt/my app/notify\" \"x\"", "k=\"\"/opt/my app/notify\" \"x\"\""},
        {"'single'", "k=\"'single'\""},
        {"\"\"", "k=\"\"\"\""},
        {"  leading", "k=\"  leading\""},
        {"trailing\t", "k=\"trailing\t\""},
        {" ", "k=\" \""},
        {"\"", "k=\""},
        {"\"mismatched'", "k=\"mismatched'"},
        {"in \"the\" middle", "k=in \"the\" middle"},
        {"", "k="},
    };
    for (const auto &c : cases) {
        IniDocument doc;
        doc.writeString(text("S"), text("k"), QString::fromUtf8(c.value));
        EXPECT_EQ(doc.toBytes(), QByteArray("[S]\r\n") + c.line + "\r\n") << c.value;
        EXPECT_EQ(IniDocument::parse(doc.toBytes()).readString(text("S"), text("k"), text("none")),
                  QString::fromUtf8(c.value))
            << c.value;
    }
}

TEST(IniDocument, ALineThatAlreadyReadsAsTheValueKeepsItsBytes)
{
    const QByteArray longValue(250, 'x');
    const QByteArray input = "[S]\n"
                             "latin1=caf\xE9\n"
                             "quoted = \"hand written\"  \n"
                             "long=" + longValue + "\n"
                             "changed=caf\xE9\n";
    IniDocument doc = IniDocument::parse(input);
    for (const char *key : {"latin1", "quoted", "long", "changed"})
        doc.writeString(text("S"), text(key), doc.readString(text("S"), text(key), {}));
    EXPECT_EQ(doc.toBytes(), QByteArray(input).replace("\n", "\r\n"));

    doc.writeString(text("S"), text("changed"), QString::fromUtf8("caf\xC3\xA9"));
    doc.writeString(text("S"), text("long"), QString(199, QLatin1Char('y')));
    EXPECT_TRUE(doc.toBytes().contains("\r\nchanged=caf\xC3\xA9\r\n"));
    EXPECT_TRUE(doc.toBytes().contains("\r\nlong=" + QByteArray(199, 'y') + "\r\n"));
    EXPECT_TRUE(doc.toBytes().contains("\r\nlatin1=caf\xE9\r\n"));
}
