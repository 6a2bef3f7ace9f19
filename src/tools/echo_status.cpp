#include "tools/echo_status.h"

#include <algorithm>
#include <array>

namespace pvx::tools {

namespace {

struct StatusMessage {
    int status;
    const char *message;
};

constexpr std::array<StatusMessage, 27> kMessages{{
    {0, "IP Success"},
    {-1, "Bad IP Format"},
    {11001, "IP Buffer too_small"},
    {11002, "IP Dest Net Unreachable"},
    {11003, "IP Dest Host Unreachable"},
    {11004, "IP Dest Prot Unreachable"},
    {11005, "IP Dest Port Unreachable"},
    {11006, "IP No Resources"},
    {11007, "IP Bad Option"},
    {11008, "IP Hardware Error"},
    {11009, "IP Packet Too Big"},
    {11010, "IP Request Timed Out"},
    {11011, "IP Bad Request"},
    {11012, "IP Bad Route"},
    {11013, "IP TTL Expired Transit"},
    {11014, "IP TTL Expired Reassembly"},
    {11015, "IP Parameter Problem"},
    {11016, "IP Source Quench"},
    {11017, "IP Option Too Big"},
    {11018, "IP Bad Destination"},
    {11019, "IP Address Deleted"},
    {11020, "IP Spec MTU Change"},
    {11021, "IP MTU Changed"},
    {11022, "IP Unload"},
    {11023, "IP Address Added"},
    {11050, "IP General Failure"},
    {11255, "IP Pending"},
}};

} // namespace

QString echoStatusText(int status)
{
    const auto found = std::find_if(kMessages.begin(), kMessages.end(),
                                    [status](const StatusMessage &entry) { return entry.status == status; });
    const char *message = found != kMessages.end() ? found->message : "Unknown Message Returned";
    return QString::number(status) + QStringLiteral("   [") + QLatin1String(message) + QLatin1Char(']');
}

} // namespace pvx::tools
