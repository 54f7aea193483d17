#include "protocol/link_state.h"

namespace vannor {

constinit LinkState linkState{.versionBytes = {},
                              .imageBuffer = {},
                              .protocolState = ProtocolState::Idle,
                              .rxByte = 0,
                              .sendIndex = 0,
                              .imageLength = 0,
                              .mainWindow = nullptr,
                              .portLock = {},
                              .stopListener = 0,
                              .portHandle = INVALID_PORT_HANDLE,
                              .commandIssued = 0};

}  // namespace vannor
