// A closed connection refuses to send rather than reaching for the client it
// let go: a watch that passed its stop check just before the plug-in was
// destroyed still posts and publishes.
#include "plugin/BusConnection.h"
#include "support/SimTest.h"

namespace {

using BusConnectionTest = SimTest;

TEST_F(BusConnectionTest, ClosedConnectionSendsNothing) {
    BusConnection connection(0x6F0000, false, false, L"\\\\.\\Pipe\\iVellumAssistant");
    connection.Close();
    TagIPCMessageItem item;
    EXPECT_FALSE(connection.PostIPCMessage(item));
    EXPECT_FALSE(connection.PublishIPCMessage(item));
    EXPECT_FALSE(connection.UnRegisterMessageCallbackAll());
}

}  // namespace
