#pragma once

#include <QString>

// The two ways a download ends short of success, as the status line shows them.
namespace Message {

inline const QString DownloadFailed = QStringLiteral("Download Failed");
inline const QString DownloadCancelled = QStringLiteral("Download Cancelled");

} // namespace Message
