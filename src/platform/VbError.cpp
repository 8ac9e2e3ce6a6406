#include "platform/VbError.h"

namespace qm {

QString vbErrorDescription(int number) {
    switch (static_cast<VbErr>(number)) {
    case VbErr::InvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case VbErr::Overflow:
        return QStringLiteral("Overflow");
    case VbErr::OutOfMemory:
        return QStringLiteral("Out of memory");
    case VbErr::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case VbErr::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case VbErr::InternalError:
        return QStringLiteral("Internal error");
    case VbErr::BadFileNameOrNumber:
        return QStringLiteral("Bad file name or number");
    case VbErr::FileNotFound:
        return QStringLiteral("File not found");
    case VbErr::BadFileMode:
        return QStringLiteral("Bad file mode");
    case VbErr::FileAlreadyOpen:
        return QStringLiteral("File already open");
    case VbErr::DeviceIOError:
        return QStringLiteral("Device I/O error");
    case VbErr::FileAlreadyExists:
        return QStringLiteral("File already exists");
    case VbErr::DiskFull:
        return QStringLiteral("Disk full");
    case VbErr::InputPastEndOfFile:
        return QStringLiteral("Input past end of file");
    case VbErr::PermissionDenied:
        return QStringLiteral("Permission denied");
    case VbErr::PathFileAccessError:
        return QStringLiteral("Path/File access error");
    case VbErr::PathNotFound:
        return QStringLiteral("Path not found");
    case VbErr::InvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case VbErr::ObjectNotSet:
        return QStringLiteral("Object variable or With block variable not set");
    case VbErr::CantCreateObject:
        return QStringLiteral("ActiveX component can't create object");
    case VbErr::NoSuchMember:
        return QStringLiteral("Object doesn't support this property or method");
    case VbErr::AutomationError:
        return QStringLiteral("Automation error");
    case VbErr::ServerUnavailable:
        return QStringLiteral("The remote server machine does not exist or is unavailable");
    }
    return QStringLiteral("Application-defined or object-defined error");
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
