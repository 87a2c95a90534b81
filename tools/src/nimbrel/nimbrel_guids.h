// The module's fixed identifiers, in one place: the C++ code, the type library source, the
// registry scripts and the installer all take them from here.
#pragma once

#define NIMBREL_CLSID_TEXT "ADDBC783-A348-4A8D-87B9-0A9602492AE0"
#define NIMBREL_APPID_TEXT "DE3A4580-518D-4BA2-A9DD-EAC9BA24C090"
#define NIMBREL_LIBID_TEXT "81020CE4-3925-455A-B114-E2012144047C"
#define NIMBREL_IID_TEXT "0ECBAFDB-8775-491E-9A41-5FC2F1014ACC"
