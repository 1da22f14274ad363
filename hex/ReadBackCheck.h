#pragma once

#include "hex/Messages.h"
#include "link/HexText.h"

#include <QString>

// Compares the words of a record read back with the words written, keeping the first that
// differs for the report of the failed record.
class ReadBackCheck {
public:
    void compare(quint16 wordAddress, quint16 written, const QString& reply) {
        if (hexValueOrZero(reply) != written && mismatch_.isEmpty())
            mismatch_ = Message::readBackMismatch(wordAddress, written, reply);
    }
    bool matched() const { return mismatch_.isEmpty(); }
    const QString& mismatch() const { return mismatch_; } // empty while every word matched

private:
    QString mismatch_;
};
