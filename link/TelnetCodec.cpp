#include "link/TelnetCodec.h"

bool TelnetCodec::takesUp(quint8 option, bool ourSide) {
    return option == Binary || option == SuppressGoAhead || (ourSide && option == ComPortOption);
}

QByteArray TelnetCodec::opening() {
    QByteArray request;
    const auto ask = [&request](Side& side, quint8 verb, quint8 option) {
        if (side.state == State::Yes || side.state == State::WantYes)
            return;
        side.state = State::WantYes;
        request.append(char(IAC)).append(char(verb)).append(char(option));
    };
    ask(us_[Binary], WILL, Binary);
    ask(him_[Binary], DO, Binary);
    ask(us_[SuppressGoAhead], WILL, SuppressGoAhead);
    ask(him_[SuppressGoAhead], DO, SuppressGoAhead);
    ask(us_[ComPortOption], WILL, ComPortOption);
    askedComPort_ = true;
    return request;
}

QByteArray TelnetCodec::decode(QByteArrayView received) {
    QByteArray data;
    data.reserve(received.size());
    for (const char c : received) {
        const quint8 b = quint8(c);
        switch (parse_) {
        case Parse::Data:
            if (b == IAC)
                parse_ = Parse::Command;
            else
                dataByte(c, data);
            break;
        case Parse::Command:
            if (b == IAC) {
                parse_ = Parse::Data;
                dataByte(c, data);
            } else {
                command(b);
            }
            break;
        case Parse::Option:
            parse_ = Parse::Data;
            negotiate(verb_, b);
            break;
        case Parse::Sub:
            if (b == IAC) {
                parse_ = Parse::SubCommand;
            } else if (sub_.size() < MaxSubnegotiation) {
                sub_.append(c);
            } else {
                subTooLong_ = true;
            }
            break;
        case Parse::SubCommand:
            if (b == IAC) {
                parse_ = Parse::Sub;
                if (sub_.size() < MaxSubnegotiation)
                    sub_.append(c);
                else
                    subTooLong_ = true;
            } else if (b == SE) {
                parse_ = Parse::Data;
                if (!subTooLong_)
                    subnegotiation();
                sub_.clear();
            } else {
                // A command inside a sub-negotiation ends it unfinished: it is dropped, and the
                // command taken as such.
                sub_.clear();
                command(b);
            }
            break;
        }
    }
    return data;
}

void TelnetCodec::dataByte(char c, QByteArray& data) {
    if (afterCr_) {
        afterCr_ = false;
        if (c == '\0')
            return; // CR NUL is a CR on its own
    }
    data.append(c);
    afterCr_ = c == '\r' && !receivesBinary();
}

void TelnetCodec::command(quint8 code) {
    switch (code) {
    case WILL:
    case WONT:
    case DO:
    case DONT:
        verb_ = code;
        parse_ = Parse::Option;
        break;
    case SB:
        sub_.clear();
        subTooLong_ = false;
        parse_ = Parse::Sub;
        break;
    default: // NOP, GA, DM, a stray SE and the rest: nothing to do for a serial line
        parse_ = Parse::Data;
        break;
    }
}

bool TelnetCodec::answer(Side& side, quint8 verb, quint8 option) {
    if (side.answers >= MaxAnswersPerOption)
        return false;
    ++side.answers;
    answers_.append(char(IAC)).append(char(verb)).append(char(option));
    return true;
}

void TelnetCodec::negotiate(quint8 verb, quint8 option) {
    const bool ourSide = verb == DO || verb == DONT;
    const bool enable = verb == WILL || verb == DO;
    Side& side = ourSide ? us_[option] : him_[option];
    const quint8 yes = ourSide ? WILL : DO;
    const quint8 no = ourSide ? WONT : DONT;
    switch (side.state) {
    case State::No:
        if (!enable)
            break; // already off: never answered
        if (takesUp(option, ourSide)) {
            if (answer(side, yes, option))
                side.state = State::Yes;
        } else {
            answer(side, no, option);
        }
        break;
    case State::Yes:
        if (enable)
            break; // already on: never answered
        if (answer(side, no, option))
            side.state = State::No;
        break;
    case State::WantNo:
        side.state = State::No; // our refusal stands, whatever the answer to it
        break;
    case State::WantYes:
        side.state = enable ? State::Yes : State::No;
        break;
    }
}

void TelnetCodec::subnegotiation() {
    if (sub_.size() < 2 || quint8(sub_[0]) != ComPortOption)
        return;
    const quint8 code = quint8(sub_[1]);
    if (code < ServerOffset || code - ServerOffset >= Commands)
        return;
    Reply& reply = replies_[code - ServerOffset];
    ++reply.count;
    reply.value = sub_.mid(2);
}

QByteArray TelnetCodec::takeAnswers() {
    QByteArray taken;
    taken.swap(answers_);
    return taken;
}

QByteArray TelnetCodec::encode(QByteArrayView data) const {
    const bool binary = sendsBinary();
    QByteArray encoded;
    encoded.reserve(data.size() + data.size() / 8 + 2);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        encoded.append(c);
        if (quint8(c) == IAC)
            encoded.append(c);
        else if (c == '\r' && !binary && (i + 1 == data.size() || data[i + 1] != '\n'))
            encoded.append('\0');
    }
    return encoded;
}

qsizetype TelnetCodec::dataCarried(QByteArrayView data, qsizetype encodedCount) const {
    const qsizetype whole = data.size();
    if (encodedCount <= 0)
        return 0;
    const bool binary = sendsBinary();
    qsizetype used = 0;
    for (qsizetype i = 0; i < whole; ++i) {
        const char c = data[i];
        qsizetype width = 1;
        if (quint8(c) == IAC || (c == '\r' && !binary && (i + 1 == whole || data[i + 1] != '\n')))
            width = 2;
        if (used + width > encodedCount)
            return i;
        used += width;
    }
    return whole;
}

QByteArray TelnetCodec::comPortRequest(quint8 command, QByteArrayView value) {
    QByteArray request;
    request.reserve(value.size() * 2 + 6);
    request.append(char(IAC)).append(char(SB)).append(char(ComPortOption)).append(char(command));
    for (const char c : value) {
        request.append(c);
        if (quint8(c) == IAC)
            request.append(c);
    }
    request.append(char(IAC)).append(char(SE));
    return request;
}

QByteArray TelnetCodec::setBaudRate(quint32 baud) {
    const char value[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return comPortRequest(SetBaudRate, QByteArrayView(value, 4));
}

TelnetCodec::ComPort TelnetCodec::comPort() const {
    switch (us_[ComPortOption].state) {
    case State::Yes:
        return ComPort::Accepted;
    case State::WantYes:
        return ComPort::Waiting;
    case State::No:
    case State::WantNo:
        break;
    }
    return askedComPort_ ? ComPort::Refused : ComPort::NotAsked;
}

int TelnetCodec::replyCount(quint8 command) const {
    return command < Commands ? replies_[command].count : 0;
}

QByteArray TelnetCodec::reply(quint8 command) const {
    return command < Commands ? replies_[command].value : QByteArray();
}

void TelnetCodec::forgetReplies() {
    replies_ = {};
}
