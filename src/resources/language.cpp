#include "resources/language.h"

#include <QtGlobal>

namespace pvx::resources {

Language languageForLocale(const QString &lcAll, const QString &lcMessages, const QString &lang)
{
    for (const QString *value : {&lcAll, &lcMessages, &lang}) {
        if (value->isEmpty())
            continue;
        return value->startsWith(QLatin1String("ja")) ? Language::Japanese : Language::English;
    }
    return Language::English;
}

Language languageFromEnvironment()
{
    return languageForLocale(qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
                             qEnvironmentVariable("LANG"));
}

} // namespace pvx::resources
