// The OpenAPI description of the HTTP front, served at /openapi.json.
#ifndef LIBVEXA_X86_GATEWAY_OPENAPI_H
#define LIBVEXA_X86_GATEWAY_OPENAPI_H

#include <string>

namespace gateway {

// The document, with the commands' arguments as the gateway checks them.
const std::string& OpenApiJson();

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_OPENAPI_H
