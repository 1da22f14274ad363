#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <array>

// The Telnet layer (RFC 854, 855) of a network port reached through RFC 2217's Com Port Control
// option, as its client: no I/O, only bytes in and bytes out.
//
// decode() takes what the server sent and gives back the serial data in it: a doubled IAC is one
// 0xFF byte, option negotiation, sub-negotiations and other commands are taken out. The answers
// that the negotiation calls for collect until takeAnswers(); they follow RFC 1143's rule
// against loops: a request for a state the option is already in is never answered, and every
// option has a fixed number of answers on each side, after which its requests go unanswered. We
// take up BINARY and SUPPRESS-GO-AHEAD on both sides and COM-PORT-OPTION on ours, and refuse
// every other option. A sub-negotiation is kept up to MaxSubnegotiation bytes and dropped whole
// when it is longer. So whatever a server sends, the codec's state stays bounded.
//
// With BINARY in effect both ways (opening() asks for it) the data passes raw; without it a CR
// that the server sent as CR NUL is given back as CR, and encode() sends a CR as CR NUL.
//
// The server's answers to the Com Port Control requests (its commands 100 + the request's) are
// kept, the latest per request, so that a caller can wait for the acknowledgements it needs.
class TelnetCodec {
public:
    // Telnet's commands (RFC 854).
    static constexpr quint8 SE = 240;
    static constexpr quint8 NOP = 241;
    static constexpr quint8 GA = 249;
    static constexpr quint8 SB = 250;
    static constexpr quint8 WILL = 251;
    static constexpr quint8 WONT = 252;
    static constexpr quint8 DO = 253;
    static constexpr quint8 DONT = 254;
    static constexpr quint8 IAC = 255;

    // The options taken up.
    static constexpr quint8 Binary = 0;
    static constexpr quint8 SuppressGoAhead = 3;
    static constexpr quint8 ComPortOption = 44;

    // RFC 2217's client requests; the server answers each with its code plus ServerOffset.
    static constexpr quint8 SetBaudRate = 1;
    static constexpr quint8 SetDataSize = 2;
    static constexpr quint8 SetParity = 3;
    static constexpr quint8 SetStopSize = 4;
    static constexpr quint8 SetControl = 5;
    static constexpr quint8 PurgeData = 12;
    static constexpr quint8 ServerOffset = 100;

    // Values of the requests.
    static constexpr quint8 ParityNone = 1;
    static constexpr quint8 StopSizeOne = 1;
    static constexpr quint8 ControlNoFlowControl = 1;
    static constexpr quint8 ControlDtrOn = 8;
    static constexpr quint8 ControlDtrOff = 9;
    static constexpr quint8 ControlRtsOn = 11;
    static constexpr quint8 ControlRtsOff = 12;
    static constexpr quint8 PurgeBothBuffers = 3;

    // The longest sub-negotiation kept (its option byte included); a longer one is dropped.
    static constexpr qsizetype MaxSubnegotiation = 256;
    // The answers that one option gets on each side, over the codec's life.
    static constexpr int MaxAnswersPerOption = 8;

    // Where COM-PORT-OPTION stands on our side.
    enum class ComPort { NotAsked, Waiting, Accepted, Refused };

    // Our requests that open the session: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD,
    // WILL COM-PORT-OPTION.
    QByteArray opening();
    // The serial data in bytes the server sent.
    QByteArray decode(QByteArrayView received);
    // The answers that decode() found due, to be sent to the server; they are handed over once.
    QByteArray takeAnswers();
    // Serial data as it goes to the server: 0xFF doubled (and CR as CR NUL without BINARY).
    QByteArray encode(QByteArrayView data) const;
    // How many bytes of data the first encodedCount bytes of encode(data) carry whole.
    qsizetype dataCarried(QByteArrayView data, qsizetype encodedCount) const;

    // One Com Port Control request: IAC SB COM-PORT-OPTION command value IAC SE, with 0xFF in
    // the value doubled.
    static QByteArray comPortRequest(quint8 command, QByteArrayView value);
    static QByteArray setBaudRate(quint32 baud); // four bytes, in network order
    static QByteArray setDataSize(quint8 bits) { return comPortRequest(SetDataSize, byte(bits)); }
    static QByteArray setParity(quint8 parity) { return comPortRequest(SetParity, byte(parity)); }
    static QByteArray setStopSize(quint8 size) { return comPortRequest(SetStopSize, byte(size)); }
    static QByteArray setControl(quint8 value) { return comPortRequest(SetControl, byte(value)); }
    static QByteArray purgeData(quint8 which) { return comPortRequest(PurgeData, byte(which)); }

    ComPort comPort() const;
    // BINARY in effect from the server to us, and from us to the server.
    bool receivesBinary() const { return him_[Binary].state == State::Yes; }
    bool sendsBinary() const { return us_[Binary].state == State::Yes; }

    // The server's answers to a request (by the request's code, SetBaudRate to PurgeData): how
    // many came, and the value of the latest.
    int replyCount(quint8 command) const;
    QByteArray reply(quint8 command) const;
    void forgetReplies();

    // Back to a new session's start.
    void reset() { *this = TelnetCodec(); }

private:
    // RFC 1143's states of one side of an option (without its queue).
    enum class State : quint8 { No, Yes, WantNo, WantYes };
    struct Side {
        State state = State::No;
        quint8 answers = 0; // answers sent for it so far
    };
    enum class Parse : quint8 { Data, Command, Option, Sub, SubCommand };
    struct Reply {
        int count = 0;
        QByteArray value;
    };
    static constexpr int Commands = PurgeData + 1;

    static QByteArray byte(quint8 value) { return QByteArray(1, char(value)); }
    static bool takesUp(quint8 option, bool ourSide);

    void command(quint8 code);
    void negotiate(quint8 verb, quint8 option);
    // Answers verb option for the side, when the side has answers left; false when not.
    bool answer(Side& side, quint8 verb, quint8 option);
    void subnegotiation(); // a complete one, in sub_
    void dataByte(char c, QByteArray& data);

    std::array<Side, 256> us_{};  // what we do, asked for with DO / DONT by the server
    std::array<Side, 256> him_{}; // what the server does, offered with WILL / WONT
    bool askedComPort_ = false;
    Parse parse_ = Parse::Data;
    quint8 verb_ = 0;
    QByteArray sub_;
    bool subTooLong_ = false;
    bool afterCr_ = false; // the last data byte was a CR, outside BINARY
    QByteArray answers_;
    std::array<Reply, Commands> replies_{};
};
