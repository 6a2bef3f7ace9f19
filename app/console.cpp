// The program's words to the terminal, and what the environment says.
#include "console.h"

namespace pvx::app {

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

} // namespace pvx::app
