#pragma once

#include "core/text.h"

namespace pw {

// The body of the update page at `url`, fetched by an HTTP/1.0 GET over a direct
// connection, never from a cache. The status is not examined (an error page's body is
// returned like any other); what arrived before a transfer broke off is returned too;
// empty when nothing could be fetched. Connect time-out 5 s, whole request 15 s.
Text FetchUpdatePage(const Text& url);

}  // namespace pw
