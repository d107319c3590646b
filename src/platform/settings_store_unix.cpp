#include "platform/settings_store.h"

#include <QDir>
#include <QHash>
#include <QList>
#include <QSettings>
#include <QStringDecoder>
#include <algorithm>

#include "shell/module_data.h"

// One INI file per user. QSettings does the caching, locking and atomic saving; the file
// syntax is our own because the stock INI format splits unquoted values at commas (every
// serial settings string has commas), escapes "/" inside key names and is case-sensitive.
// QSettings ignores the case flag of a registered format, so names are matched without
// regard to case here, and a write goes to the spelling already in the file.

namespace SettingsStore {
namespace {

constexpr QChar Quote = u'"';
constexpr QChar Backslash = u'\\';

bool needsQuotes(const QString& value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    for (const QChar c : value) {
        if (c == Quote || c == Backslash || c == u';' || c == u'#' || c.unicode() < 0x20 ||
            c.unicode() == 0x7f)
            return true;
    }
    return false;
}

QString quoted(const QString& value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += Quote;
    for (const QChar c : value) {
        if (c == Quote || c == Backslash) {
            out += Backslash;
            out += c;
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c == u'\r') {
            out += QLatin1String("\\r");
        } else if (c == u'\t') {
            out += QLatin1String("\\t");
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            // Always four digits, so a hex-like character after it is not taken in.
            out += QStringLiteral("\\x%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    out += Quote;
    return out;
}

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The text of a quoted value up to its closing quote; anything after it is a comment.
QString unquoted(QStringView raw)
{
    QString out;
    for (qsizetype i = 1; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == Quote)
            break;
        if (c != Backslash || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar e = raw[++i];
        if (e == u'n') {
            out += u'\n';
        } else if (e == u'r') {
            out += u'\r';
        } else if (e == u't') {
            out += u'\t';
        } else if (e == u'x') {
            char16_t code = 0;
            for (int digits = 0; digits < 4 && i + 1 < raw.size(); ++digits) {
                const int digit = hexDigit(raw[i + 1]);
                if (digit < 0)
                    break;
                code = char16_t(code * 16 + digit);
                ++i;
            }
            out += QChar(code);
        } else {
            out += e;
        }
    }
    return out;
}

QString valueText(QStringView raw)
{
    if (raw.startsWith(Quote))
        return unquoted(raw);
    // Unquoted: the whole rest of the line, commas, inner blanks and all.
    return raw.toString();
}

// A hand-edited file may be in Latin-1 rather than UTF-8; take it byte for byte then.
QString decodedText(const QByteArray& data)
{
    // Stateless, so a cut-off sequence at the very end counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(data);
    if (utf8.hasError())
        text = QString::fromLatin1(data);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    return text;
}

// Lines that are neither "[section]" nor "key=value" are skipped, so a damaged file still
// gives what it can. Names that differ only in case are one name: the first spelling
// stays, the last value wins.
bool readIni(QIODevice& device, QSettings::SettingsMap& map)
{
    const QString text = decodedText(device.readAll());
    QHash<QString, QString> sectionSpelling;
    QHash<QString, QString> keySpelling;
    QString section;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                continue;
            const QString name = line.mid(1, line.size() - 2).trimmed().toString();
            section = sectionSpelling.value(name.toCaseFolded(), name);
            sectionSpelling.insert(name.toCaseFolded(), section);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toString();
        if (key.isEmpty())
            continue;
        const QString fullKey = section.isEmpty() ? key : section + u'/' + key;
        const QString folded = fullKey.toCaseFolded();
        const QString spelling = keySpelling.value(folded, fullKey);
        keySpelling.insert(folded, spelling);
        map.insert(spelling, valueText(line.mid(eq + 1).trimmed()));
    }
    return true;
}

// The section is everything before the first "/"; the rest, slashes and all, is the key.
bool writeIni(QIODevice& device, const QSettings::SettingsMap& map)
{
    QList<QString> sections;
    QHash<QString, QString> lines;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString key = slash < 0 ? it.key() : it.key().mid(slash + 1);
        const QString value = it.value().toString();
        const QString folded = section.toCaseFolded();
        if (!lines.contains(folded)) {
            sections.append(section);
            if (!section.isEmpty())
                lines[folded] = u'[' + section + QLatin1String("]\n");
        }
        lines[folded] += key + u'=' + (needsQuotes(value) ? quoted(value) : value) + u'\n';
    }
    // Keys outside any section must come before the first header to stay outside.
    std::stable_sort(sections.begin(), sections.end(), [](const QString& a, const QString& b) {
        return a.isEmpty() && !b.isEmpty();
    });
    QString text;
    for (const QString& section : sections) {
        if (!text.isEmpty())
            text += u'\n';
        text += lines.value(section.toCaseFolded());
    }
    return device.write(text.toUtf8()) >= 0;
}

QSettings::Format iniFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readIni, writeIni, Qt::CaseInsensitive);
    return format;
}

// The store as it is now; the location is looked up again at every access.
class Store
{
public:
    Store() : m_settings(StoreLocation(), iniFormat()) {}

    // The name under which the file already holds section/key, or a new one that reuses
    // the spelling of an existing section.
    QString storedName(const QString& section, const QString& key)
    {
        const QString wanted = section + u'/' + key;
        if (m_settings.contains(wanted))
            return wanted;
        const QStringList keys = m_settings.allKeys();
        for (const QString& stored : keys) {
            if (stored.compare(wanted, Qt::CaseInsensitive) == 0)
                return stored;
        }
        for (const QString& stored : keys) {
            const QString storedSection = stored.section(u'/', 0, 0);
            if (storedSection.compare(section, Qt::CaseInsensitive) == 0)
                return storedSection + u'/' + key;
        }
        return wanted;
    }

    QSettings& settings() { return m_settings; }

private:
    QSettings m_settings;
};

} // namespace

QString StoreLocation()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QLatin1String("/.config");
    return base + u'/' + Globals::AppTitle + QLatin1String(".ini");
}

QString GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    Store store;
    const QString name = store.storedName(section, key);
    return store.settings().value(name, defaultValue).toString();
}

void SaveSetting(const QString& section, const QString& key, const QString& value)
{
    Store store;
    store.settings().setValue(store.storedName(section, key), value);
    // A failed write (read-only disk, path blocked by a file) leaves the store as it was;
    // the in-memory value the caller just set still holds for this run.
    store.settings().sync();
}

} // namespace SettingsStore
