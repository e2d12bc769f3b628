// Opening the links that a reader name selects besides the serial link.
#pragma once

#include <string>

namespace kvara {

class CKvara_Port;

// Opens the TCP link a network name selects and attaches it to the port. False when the link
// did not open.
bool OpenTcpLinkForPort(CKvara_Port& port, const std::string& name);

// Opens the HID reader of that name as the port's HID link and sends its mode report 0.
bool OpenHidLinkForPort(CKvara_Port& port, const std::string& name);

// Recovery of a network reader that accepted the connection but did not identify itself.
// True when it is worth trying the open again.
bool RecoverNetworkReader(const std::string& name);

}  // namespace kvara
