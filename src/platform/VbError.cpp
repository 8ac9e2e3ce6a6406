#include "platform/VbError.h"

#include "platform/VbErrorText.h"

namespace qm {

QString vbErrorDescription(int number) {
    return QString::fromLatin1(vbErrorText(number));
}

VbError::VbError(VbErr err)
    : VbError(static_cast<int>(err), vbErrorDescription(static_cast<int>(err))) {}

VbError::VbError(int number, QString description)
    : m_number(number)
    , m_description(std::move(description))
    , m_what(QStringLiteral("Error %1: %2").arg(number).arg(m_description).toStdString()) {}

void raise(VbErr err) {
    throw VbError(err);
}

} // namespace qm
