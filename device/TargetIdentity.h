#pragma once

#include <QString>

// The message for an identification that is not accepted, or an empty text: only firmware "11"
// with a boot-vector address of four characters whose value is at most 2000 is accepted.
QString identificationFault(const QString& firmwareVersion, const QString& bootVectorAddress);
