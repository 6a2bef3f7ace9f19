#pragma once

#include "resources/string_table.h"

#include <QStringList>

namespace pvx::session {

/// Highest connector number; position n of the connector list is "COM" n.
inline constexpr int kMaxConnector = 1024;

/// Default list positions of a new session window.
inline constexpr int kDefaultBaudRate = 6;      // 9600
inline constexpr int kDefaultDataBits = 3;      // 8
inline constexpr int kDefaultBufferSize = 2;    // 8192

/// Colours of the activity lamps.
inline constexpr int kLampActive = 255;
inline constexpr int kLampIdle = 65280;

QStringList connectorList(const resources::StringTable &strings);
QStringList baudRateList();
QStringList parityList(const resources::StringTable &strings);
QStringList dataBitsList();
QStringList stopBitsList();
QStringList flowControlList(const resources::StringTable &strings);
QStringList bufferSizeList();

/// "COM" followed by the number.
QString connectorName(int number);

} // namespace pvx::session
