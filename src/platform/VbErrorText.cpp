#include "platform/VbErrorText.h"

namespace qm {

const char* vbErrorText(int number) {
    switch (number) {
    case 5:
        return "Invalid procedure call or argument";
    case 6:
        return "Overflow";
    case 7:
        return "Out of memory";
    case 9:
        return "Subscript out of range";
    case 13:
        return "Type mismatch";
    case 51:
        return "Internal error";
    case 52:
        return "Bad file name or number";
    case 53:
        return "File not found";
    case 54:
        return "Bad file mode";
    case 55:
        return "File already open";
    case 57:
        return "Device I/O error";
    case 58:
        return "File already exists";
    case 61:
        return "Disk full";
    case 62:
        return "Input past end of file";
    case 70:
        return "Permission denied";
    case 75:
        return "Path/File access error";
    case 76:
        return "Path not found";
    case 91:
        return "Object variable or With block variable not set";
    case 380:
        return "Invalid property value";
    case 424:
        return "Object required";
    case 429:
        return "ActiveX component can't create object";
    case 438:
        return "Object doesn't support this property or method";
    case 440:
        return "Automation error";
    case 450:
        return "Wrong number of arguments or invalid property assignment";
    case 462:
        return "The remote server machine does not exist or is unavailable";
    default:
        return "Application-defined or object-defined error";
    }
}

} // namespace qm
