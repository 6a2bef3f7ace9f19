#pragma once

namespace pvx::resources {

/// The texts the program looks up by name rather than through a control's
/// tag. Each value is the text's number in the string table, which stored
/// tags and the tables themselves keep using.
enum class StringId : int {
    ProgramTitle = 5058,
    ProgramDescription = 5060,
    ServiceInstalled = 5061,
    ServiceNotInstalled = 5062,
    ServiceUninstalled = 5063,
    ServiceNotUninstalled = 5064,
    InvalidPassword = 5065,
    SystemInfoUnavailable = 5073,
    PasswordsDiffer = 5110,
    PingAddressMissing = 5112,
    PingAddressMissingTitle = 5113,
    CannotResolveHostName = 5115,
    NewSessionName = 5119,
    PingAddressTip = 5122,
    PingDataTip = 5123,
    HostNameTip = 5124,
    EnableServiceLater = 5135,
};

} // namespace pvx::resources
