#include "error.h"

namespace zefto {

Error::Error(int number, QString description)
    : m_number(number),
      m_description(std::move(description)),
      m_what(QStringLiteral("%1: %2").arg(number).arg(m_description).toUtf8())
{}

Error Error::of(int number)
{
    switch (number) {
    case err::Overflow: return {number, QStringLiteral("Overflow")};
    case err::TypeMismatch: return {number, QStringLiteral("Type mismatch")};
    case err::FileNotFound: return {number, QStringLiteral("File not found")};
    case err::DeviceIo: return {number, QStringLiteral("Device I/O error")};
    case err::InputPastEnd: return {number, QStringLiteral("Input past end of file")};
    case err::PathAccess: return {number, QStringLiteral("Path/File access error")};
    case err::InvalidUseOfNull: return {number, QStringLiteral("Invalid use of Null")};
    case err::UpdateWithoutAddNew: return {number, QStringLiteral("Update without AddNew.")};
    case err::NoCurrentRecord: return {number, QStringLiteral("No current record.")};
    case err::ObjectInvalid: return {number, QStringLiteral("Object invalid or no longer set.")};
    case err::DataTypeConversion: return {number, QStringLiteral("Data type conversion error.")};
    default: return {number, QStringLiteral("Application-defined or object-defined error")};
    }
}

} // namespace zefto
