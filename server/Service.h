#pragma once

#include <httplib.h>

#include <string>
#include <vector>

#include "Improver.h"
#include "config/Limits.h"

namespace quillberry::service {

inline constexpr size_t MAX_CONNECTIONS = 128;  // served at once; more wait for a free thread

// POST /improve with {"prompt": string, "email": string} → 200 {"improved_prompt": ...}.
// Every refusal is a JSON {"error": "..."} with its status: 400 malformed, nested deeper
// than MAX_JSON_DEPTH, or two Host or Origin headers, 403 an Origin header of another site,
// 404 unknown path, 405 other method, 408 a body not there within 5 s, 411 a body without
// Content-Length (chunked included), 413 over 1 MiB, 415 not JSON or compressed, 421 a Host
// other than this service, 431 over 100 header lines or 64 KiB of them, 502 the upstream
// failed, 503 too many big requests at once. Only POST /improve has its body read.
// The service answers only for its own names, so that a web page cannot reach it through a
// name of its own that resolves to this machine (DNS rebinding): a Host of 127.0.0.1,
// localhost, [::1], the address the connection came in on, or one of `serverNames`, with
// the port it came in on.
// Neither prompts nor addresses are ever logged.
void installRoutes(httplib::Server& server, Improver& improver, std::vector<std::string> serverNames = {});

}  // namespace quillberry::service
