#pragma once

#include <httplib.h>

#include "Improver.h"
#include "config/Limits.h"

namespace quillberry::service {

inline constexpr size_t MAX_CONNECTIONS = 128;  // served at once; more wait for a free thread

// POST /improve with {"prompt": string, "email": string} → 200 {"improved_prompt": ...}.
// Every refusal is a JSON {"error": "..."} with its status: 400 malformed or nested deeper
// than MAX_JSON_DEPTH, 404 unknown path, 405 other method, 411 a body without
// Content-Length (chunked included), 413 over 1 MiB, 415 not JSON or compressed, 502 the
// upstream failed, 503 too many big requests at once.
// Neither prompts nor addresses are ever logged.
void installRoutes(httplib::Server& server, Improver& improver);

}  // namespace quillberry::service
