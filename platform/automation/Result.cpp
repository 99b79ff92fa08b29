#include "platform/automation/Result.h"

#include <cstdio>

namespace orv::platform::automation {

std::string ResultText(HRESULT result)
{
    switch (result) {
    case S_OK: return "Success";
    case S_FALSE: return "Success (false)";
    case E_NOTIMPL: return "Not implemented";
    case E_NOINTERFACE: return "No such interface supported";
    case E_POINTER: return "Invalid pointer";
    case E_FAIL: return "Unspecified error";
    case E_UNEXPECTED: return "Catastrophic failure";
    case E_OUTOFMEMORY: return "Out of memory";
    case E_INVALIDARG: return "Invalid argument";
    case CLASS_E_NOAGGREGATION: return "Class does not support aggregation";
    case CLASS_E_CLASSNOTAVAILABLE: return "Class factory cannot supply the requested class";
    case REGDB_E_READREGDB: return "Could not read the class registry";
    case REGDB_E_WRITEREGDB: return "Could not write the class registry";
    case REGDB_E_CLASSNOTREG: return "Class not registered";
    case SELFREG_E_TYPELIB: return "Could not register the type library";
    case SELFREG_E_CLASS: return "Could not register the class";
    case CO_E_CLASSSTRING: return "Invalid class string";
    case CO_E_DLLNOTFOUND: return "Server library not found";
    case CO_E_ERRORINDLL: return "Error in the server library";
    case DISP_E_UNKNOWNINTERFACE: return "Unknown interface";
    case DISP_E_MEMBERNOTFOUND: return "Member not found";
    case DISP_E_PARAMNOTFOUND: return "Parameter not found";
    case DISP_E_TYPEMISMATCH: return "Type mismatch";
    case DISP_E_UNKNOWNNAME: return "Unknown name";
    case DISP_E_NONAMEDARGS: return "No named arguments";
    case DISP_E_BADVARTYPE: return "Bad variable type";
    case DISP_E_EXCEPTION: return "Exception occurred";
    case DISP_E_OVERFLOW: return "Out of present range";
    case DISP_E_BADINDEX: return "Invalid index";
    case DISP_E_BADPARAMCOUNT: return "Invalid number of parameters";
    case DISP_E_PARAMNOTOPTIONAL: return "Parameter not optional";
    case HRESULT_MOD_NOT_FOUND: return "The specified module could not be found";
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "Error 0x%08X", static_cast<unsigned>(result));
    return text;
}

} // namespace orv::platform::automation
