#pragma once
// The data port that a server names in its reply to PASV (227) or EPSV (229).
#include <optional>

#include "net/ftp_reply.h"

namespace net {

// The port of a 227 reply ("(h1,h2,h3,h4,p1,p2)", each number 0 to 255) or of a 229 reply
// ("(|||port|)"); none when the reply names no port from 1 to 65535 in that form.
std::optional<int> passiveReplyPort(const FtpReply& reply);

}  // namespace net
