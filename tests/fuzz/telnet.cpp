// Fuzz target: what an RFC 2217 server sends, through the Telnet layer, at once and in pieces.
#include "FuzzCheck.h"

#include "link/TelnetCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = inputBytes(data, size);
    TelnetCodec whole;
    whole.opening();
    const QByteArray decoded = whole.decode(bytes);
    const QByteArray answers = whole.takeAnswers();
    require(decoded.size() <= bytes.size(), "the data is never longer than what came");
    // Every answer is one negotiation of three bytes, and an option gets a bounded number.
    require(answers.size() % 3 == 0, "answers are whole negotiations");
    require(answers.size() <= 2 * 256 * 3 * TelnetCodec::MaxAnswersPerOption,
            "the answers are bounded");
    for (qsizetype i = 0; i < answers.size(); i += 3)
        require(quint8(answers[i]) == TelnetCodec::IAC &&
                    quint8(answers[i + 1]) >= TelnetCodec::WILL,
                "an answer is IAC WILL, WONT, DO or DONT");
    for (quint8 command = 0; command <= TelnetCodec::PurgeData; ++command)
        require(whole.reply(command).size() < TelnetCodec::MaxSubnegotiation,
                "a kept reply fits the sub-negotiation's cap");

    // The same bytes in pieces of three: the state carries over between batches.
    TelnetCodec pieces;
    pieces.opening();
    QByteArray decodedInPieces;
    QByteArray answersInPieces;
    for (qsizetype at = 0; at < bytes.size(); at += 3) {
        decodedInPieces +=
            pieces.decode(bytes.sliced(at, std::min<qsizetype>(3, bytes.size() - at)));
        answersInPieces += pieces.takeAnswers();
    }
    require(decodedInPieces == decoded, "pieces decode as the whole does");
    require(answersInPieces == answers, "pieces are answered as the whole is");
    require(pieces.comPort() == whole.comPort(), "pieces leave COM-PORT-OPTION as the whole does");

    // Data sent is escaped so that the server's decoding gives it back.
    const QByteArray encoded = whole.encode(bytes);
    TelnetCodec server;
    if (whole.sendsBinary())
        server.decode(QByteArray("\xff\xfb\x00", 3)); // the client's WILL BINARY, as seen there
    require(whole.dataCarried(bytes, encoded.size()) == bytes.size(), "all of the data is carried");
    require(server.decode(encoded) == bytes.toByteArray(), "the escaping is undone exactly");
    return 0;
}
