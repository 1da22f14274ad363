#pragma once

#include <QString>

namespace Message {

// The two ways a download ends short of success, as the status line shows them.
inline const QString DownloadFailed = QStringLiteral("Download Failed");
inline const QString DownloadCancelled = QStringLiteral("Download Cancelled");

// The Port menu's item that asks for a network port, and the title of the dialog it opens.
inline const QString NetworkPortItem = QStringLiteral("Network Port\u2026");
inline const QString NetworkPort = QStringLiteral("Network Port");

} // namespace Message
