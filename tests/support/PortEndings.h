#pragma once

#include <QString>

class DownloadSession;

// The ways in which the tool lets go of a port it has open: "close" (CloseCom), "failure" (a
// reported failure closes it), "open" (opened again, then closed).
namespace PortEndings {

// Adds the rows: a QString column "ending".
void addRows();
// Lets go of the port that `session` has open on portName in the way `ending` names; false when a
// step did not do what it should.
bool letGo(DownloadSession& session, const QString& portName, const QString& ending);

} // namespace PortEndings
