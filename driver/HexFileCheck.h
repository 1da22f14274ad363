#pragma once

#include <QString>

class HexFileReader;

// What the check of a HEX file found before the download touches the target.
struct HexFileCheck {
    // The message for the first line that cannot be sent: Message::InvalidHexFile for an empty
    // or malformed line, Message::ProblemReadingHexFile for a line that does not start with ":".
    // Empty when every line up to the first end-of-file record (or the end) is fit to send.
    QString fault;
    // What the fault's message leaves out: the line's number and what is wrong with it.
    QString detail;
    // The number of lines in the whole file, those after the end-of-file record and empty ones
    // included: the gauge's maximum while the records are sent. Complete only without a fault.
    int lineCount = 0;
    // The number of words the download writes from the records (see wordsWritten()).
    int wordCount = 0;
    // The answered commands the download sends for the records (see commandsSent()).
    int commandCount = 0;
};

// Reads the HEX file once from its beginning, checking the lines that will be sent and
// counting every line. Leaves the file closed.
HexFileCheck checkHexFile(HexFileReader& hexFile);
