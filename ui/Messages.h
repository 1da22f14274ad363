#pragma once

#include <QString>

namespace Message {

// The two ways a download ends short of success, as the status line shows them.
inline const QString DownloadFailed = QStringLiteral("Download Failed");
inline const QString DownloadCancelled = QStringLiteral("Download Cancelled");

// The Port menu's item that asks for a network port, and the title of the dialog it opens.
inline const QString NetworkPortItem = QStringLiteral("Network Port\u2026");
inline const QString NetworkPort = QStringLiteral("Network Port");

// The Board menu: a check of the board, and a read of it, that write nothing to it.
inline const QString BoardMenu = QStringLiteral("Board");
inline const QString VerifyItem = QStringLiteral("Verify Against HEX File");
inline const QString ReadItem = QStringLiteral("Read Into HEX File\u2026");
inline const QString ReadIntoHexFile = QStringLiteral("Read Into HEX File");

} // namespace Message
