#include "core/ini_document.h"

#include <QSet>

#include <cstdint>

namespace pvx::core {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

qsizetype skipBlanks(const QByteArray &raw, qsizetype pos)
{
    while (pos < raw.size() && isBlank(static_cast<char16_t>(static_cast<unsigned char>(raw.at(pos)))))
        ++pos;
    return pos;
}

// Only ASCII blanks count: a value may well end in an ideographic space.
QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin).unicode()))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1).unicode()))
        --end;
    return text.mid(begin, end - begin);
}

QString normalisedName(const QString &name)
{
    return trimBlanks(name).toCaseFolded();
}

// A line break inside a name or value would start a line of its own.
QString withoutLineBreaks(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool isEnclosedInQuotes(const QString &text)
{
    return text.size() >= 2 && text.front() == text.back()
           && (text.front() == QLatin1Char('"') || text.front() == QLatin1Char('\''));
}

QString withoutEnclosingQuotes(const QString &text)
{
    return isEnclosedInQuotes(text) ? text.mid(1, text.size() - 2) : text;
}

// Reading strips outer blanks and one pair of quotes, so a value that would
// lose either gets one more pair of double quotes to come back whole.
QString protectedForReading(const QString &value)
{
    const bool outerBlanks =
        !value.isEmpty() && (isBlank(value.front().unicode()) || isBlank(value.back().unicode()));
    if (outerBlanks || isEnclosedInQuotes(value))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

QString cutToCodePoints(const QString &text, qsizetype maxCodePoints)
{
    qsizetype pos = 0;
    for (qsizetype count = 0; count < maxCodePoints && pos < text.size(); ++count) {
        const bool pair = text.at(pos).isHighSurrogate() && pos + 1 < text.size()
                          && text.at(pos + 1).isLowSurrogate();
        pos += pair ? 2 : 1;
    }
    return text.left(pos);
}

int digitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + 10;
    return 99;
}

int parseInteger(const QString &text)
{
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size && isBlank(text.at(pos).unicode()))
        ++pos;
    bool negative = false;
    if (pos < size && (text.at(pos) == QLatin1Char('-') || text.at(pos) == QLatin1Char('+'))) {
        negative = text.at(pos) == QLatin1Char('-');
        ++pos;
    }
    std::uint32_t base = 10;
    if (pos + 1 < size && text.at(pos) == QLatin1Char('0')) {
        const char16_t marker = text.at(pos + 1).toLower().unicode();
        base = marker == u'x' ? 16 : marker == u'o' ? 8 : marker == u'b' ? 2 : 10;
        if (base != 10)
            pos += 2;
    }
    // Unsigned arithmetic wraps by definition, as the 32-bit result must.
    std::uint32_t total = 0;
    for (; pos < size; ++pos) {
        const int digit = digitValue(text.at(pos).unicode());
        if (digit >= static_cast<int>(base))
            break;
        total = total * base + static_cast<std::uint32_t>(digit);
    }
    if (negative)
        total = 0u - total;
    return static_cast<int>(total);
}

enum class LineKind {
    Other,
    Header,
    Key,
};

struct Classified {
    LineKind kind = LineKind::Other;
    QString name;             // normalised section or key name
    qsizetype valueStart = 0; // for a key line
};

Classified classify(const QByteArray &raw, qsizetype start)
{
    const qsizetype pos = skipBlanks(raw, start);
    if (pos >= raw.size())
        return {};
    const char first = raw.at(pos);
    if (first == ';' || first == '#')
        return {};
    if (first == '[') {
        // The last bracket closes the name, so that any name written as
        // "[" name "]" reads back as itself.
        const qsizetype close = raw.lastIndexOf(']');
        if (close < pos)
            return {};
        return {LineKind::Header, normalisedName(QString::fromUtf8(raw.mid(pos + 1, close - pos - 1))), 0};
    }
    const qsizetype equals = raw.indexOf('=', pos);
    if (equals < 0)
        return {};
    QString key = normalisedName(QString::fromUtf8(raw.mid(pos, equals - pos)));
    if (key.isEmpty())
        return {};
    return {LineKind::Key, std::move(key), equals + 1};
}

} // namespace

IniDocument::IniDocument() : m_sections(1) {}

IniDocument IniDocument::parse(const QByteArray &bytes)
{
    IniDocument document;
    qsizetype begin = 0;
    bool firstLine = true;
    while (begin < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', begin);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        if (end > begin && bytes.at(end - 1) == '\r')
            --end;
        QByteArray raw = bytes.mid(begin, end - begin);
        begin = next;

        // A byte-order mark must not hide the first section header.
        const qsizetype start = firstLine && raw.startsWith(kUtf8Bom) ? 3 : 0;
        firstLine = false;
        Classified line = classify(raw, start);
        if (line.kind == LineKind::Header) {
            if (!document.m_index.contains(line.name)) // a repeated section is never addressed
                document.m_index.insert(line.name, document.m_sections.size());
            document.m_sections.push_back(Section{std::move(raw), {}});
            continue;
        }
        document.m_sections.back().lines.push_back(Line{std::move(raw), std::move(line.name), line.valueStart});
    }
    return document;
}

QByteArray IniDocument::toBytes() const
{
    static const QByteArray lineEnd = QByteArrayLiteral("\r\n");
    qsizetype total = 0;
    for (const Section &section : m_sections) {
        total += section.header.size() + lineEnd.size();
        for (const Line &line : section.lines)
            total += line.raw.size() + lineEnd.size();
    }
    QByteArray bytes;
    bytes.reserve(total);
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        const Section &section = m_sections[i];
        if (i > 0)
            bytes.append(section.header).append(lineEnd);
        for (const Line &line : section.lines)
            bytes.append(line.raw).append(lineEnd);
    }
    return bytes;
}

int IniDocument::readInt(const QString &section, const QString &key, int defaultValue) const
{
    const std::optional<QString> value = rawValue(section, key);
    if (!value || value->isEmpty())
        return defaultValue;
    return parseInteger(*value);
}

QString IniDocument::readString(const QString &section, const QString &key,
                                const QString &defaultValue) const
{
    const std::optional<QString> value = rawValue(section, key);
    return cutToCodePoints(value ? *value : defaultValue, kMaxTextLength);
}

void IniDocument::writeString(const QString &section, const QString &key, const QString &value)
{
    const QString sectionName = trimBlanks(withoutLineBreaks(section));
    const QString keyName = trimBlanks(withoutLineBreaks(key));
    if (sectionName.isEmpty() || keyName.isEmpty())
        return;
    const QString text = withoutLineBreaks(value);
    const QByteArray valueBytes = protectedForReading(text).toUtf8();
    // New lines are classified as parsing would, so the document in memory
    // always matches the bytes it writes.
    const QByteArray newLine = keyName.toUtf8() + '=' + valueBytes;
    const auto makeKeyLine = [&] {
        Classified classified = classify(newLine, 0);
        return Line{newLine, std::move(classified.name), classified.valueStart};
    };

    const auto found = m_index.constFind(sectionName.toCaseFolded());
    if (found == m_index.cend()) {
        const QByteArray *last = lastLine();
        if (last && skipBlanks(*last, 0) < last->size())
            m_sections.back().lines.push_back(Line{}); // a blank line sets the new section apart
        const QByteArray header = '[' + sectionName.toUtf8() + ']';
        m_index.insert(classify(header, 0).name, m_sections.size());
        m_sections.push_back(Section{header, {makeKeyLine()}});
        return;
    }

    const QString wantedKey = keyName.toCaseFolded();
    std::vector<Line> &lines = m_sections[*found].lines;
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Line &line = lines[i];
        if (line.key.isEmpty())
            continue;
        if (line.key == wantedKey) {
            // A line that already reads as the new value keeps its bytes, so
            // text in another encoding survives a save that did not touch it.
            if (readValue(line) == cutToCodePoints(text, kMaxTextLength))
                return;
            // Keep the key as it is spelled and spaced; only the value changes.
            line.raw = line.raw.left(skipBlanks(line.raw, line.valueStart)) + valueBytes;
            return;
        }
        insertAt = i + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), makeKeyLine());
}

QStringList IniDocument::keys(const QString &section) const
{
    QStringList names;
    const Section *found = findSection(section);
    if (!found)
        return names;
    QSet<QString> seen;
    for (const Line &line : found->lines) {
        if (line.key.isEmpty() || seen.contains(line.key))
            continue;
        seen.insert(line.key);
        names.append(trimBlanks(QString::fromUtf8(line.raw.left(line.valueStart - 1))));
    }
    return names;
}

bool IniDocument::hasSection(const QString &section) const
{
    return findSection(section) != nullptr;
}

const IniDocument::Section *IniDocument::findSection(const QString &name) const
{
    const auto found = m_index.constFind(normalisedName(name));
    return found == m_index.cend() ? nullptr : &m_sections[*found];
}

const IniDocument::Line *IniDocument::findLine(const QString &section, const QString &key) const
{
    const Section *found = findSection(section);
    if (!found)
        return nullptr;
    const QString wanted = normalisedName(key);
    for (const Line &line : found->lines) {
        if (!line.key.isEmpty() && line.key == wanted)
            return &line;
    }
    return nullptr;
}

std::optional<QString> IniDocument::rawValue(const QString &section, const QString &key) const
{
    const Line *line = findLine(section, key);
    if (!line)
        return std::nullopt;
    return unquotedValue(*line);
}

QString IniDocument::unquotedValue(const Line &line)
{
    return withoutEnclosingQuotes(trimBlanks(QString::fromUtf8(line.raw.mid(line.valueStart))));
}

QString IniDocument::readValue(const Line &line)
{
    return cutToCodePoints(unquotedValue(line), kMaxTextLength);
}

const QByteArray *IniDocument::lastLine() const
{
    for (auto section = m_sections.rbegin(); section != m_sections.rend(); ++section) {
        if (!section->lines.empty())
            return &section->lines.back().raw;
        if (section + 1 != m_sections.rend())
            return &section->header;
    }
    return nullptr;
}

} // namespace pvx::core
