#pragma once

#include <QString>

namespace pvx::resources {

/// The user-interface languages the string table holds.
enum class Language {
    English,
    Japanese,
};

/// The language for the locale variables LC_ALL, LC_MESSAGES and LANG (in
/// that order of precedence; empty values are skipped): Japanese when the
/// first non-empty one begins with "ja", English otherwise.
Language languageForLocale(const QString &lcAll, const QString &lcMessages, const QString &lang);

/// languageForLocale applied to this process's environment.
Language languageFromEnvironment();

} // namespace pvx::resources
