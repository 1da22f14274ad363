#pragma once

#include <QString>

class HexFileReader;

// Reads the HEX file from its beginning up to its first end-of-file record (or its end) and
// returns the message for the first line that cannot be sent: "Invalid HEX file" for an empty or
// malformed line, "Problem reading Hex File" for a line that does not start with ":". Returns an
// empty text when every line is fit to send. Leaves the file closed.
QString findHexFileFault(HexFileReader& hexFile);
