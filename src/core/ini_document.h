#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace pvx::core {

/// The contents of a configuration file of the INI kind, with the usual
/// rules: "[Section]" headers (the name ends at the line's last ']'),
/// "key=value" lines (the key ends at the first '='), section and key names
/// compared case-insensitively and without surrounding blanks, comment lines
/// starting with ';' or '#'. The text is UTF-8; lines may end in LF or CR LF.
/// When a section or key occurs more than once, the first one is the one read
/// and written. Keys above the first section belong to no section and are
/// never read.
///
/// Writing changes one line in place or adds lines; every other line keeps its
/// exact bytes (comments, blank lines, unknown or invalid bytes) and its place,
/// and nothing is ever deleted. Pure logic: no file access.
class IniDocument {
public:
    /// Text values are cut to this many characters (code points) when read.
    static constexpr qsizetype kMaxTextLength = 199;

    /// An empty document.
    IniDocument();

    /// Splits `bytes` into lines; any bytes at all are accepted.
    static IniDocument parse(const QByteArray &bytes);
    /// Every line, each followed by CR LF; an empty document gives no bytes.
    QByteArray toBytes() const;

    /// The key's value as an integer: `defaultValue` when the section or key
    /// is missing or the value is empty; otherwise after leading blanks an
    /// optional sign, an optional base prefix (0x, 0o, 0b) and the digits up
    /// to the first character that is not one (no digits give 0), wrapped to
    /// 32 bits ("12abc" gives 12, "abc" gives 0, "0x10" gives 16).
    int readInt(const QString &section, const QString &key, int defaultValue) const;

    /// The key's value with surrounding blanks and one pair of matching
    /// enclosing quotes ("..." or '...') removed, cut to kMaxTextLength code
    /// points. A missing section or key gives `defaultValue`, cut the same way.
    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue) const;

    /// Sets the key's value so that readString gives it back: a value with
    /// outer blanks, or enclosed in a pair of matching quotes, is written
    /// inside one more pair of double quotes. The first line of the key in
    /// the first matching section is replaced, unless it already reads as
    /// `value`: then it keeps its bytes (also any that are not UTF-8, or its
    /// own quoting). A missing key is
    /// added after the last key line of the section; a missing section is
    /// added at the end with its key. CR and LF in any argument become spaces,
    /// so a value can never start a line of its own. A call with an empty
    /// section or key name changes nothing.
    void writeString(const QString &section, const QString &key, const QString &value);

    /// The key names of the section as written in the file (trimmed), in file
    /// order, each name once; empty when the section is missing.
    QStringList keys(const QString &section) const;
    bool hasSection(const QString &section) const;

private:
    struct Line {
        QByteArray raw;           ///< the line without its line end
        QString key;              ///< normalised key name; empty for other lines
        qsizetype valueStart = 0; ///< offset just past the '=' of a key line
    };
    struct Section {
        QByteArray header;        ///< the raw header line; empty for the preamble
        std::vector<Line> lines;
    };

    const Section *findSection(const QString &name) const;
    const Line *findLine(const QString &section, const QString &key) const;
    /// A key line's value as texts read it, before and after the cut.
    static QString unquotedValue(const Line &line);
    static QString readValue(const Line &line);
    std::optional<QString> rawValue(const QString &section, const QString &key) const;
    const QByteArray *lastLine() const;

    /// m_sections[0] holds the lines above the first section header.
    std::vector<Section> m_sections;
    /// Normalised section name -> index of its first occurrence.
    QHash<QString, std::size_t> m_index;
};

} // namespace pvx::core
