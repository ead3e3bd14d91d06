#pragma once
// Makes the own network's built-in adapters known to the adapter registry by
// their class names ("QBQuillborneAdapter", "QBPlovermarkAdsAdapter"), so the
// mediation creates them from the configuration, and installs the publisher's
// device-status report. Calling it again installs the same again. Any thread.
void registerOwnNetworkAdapterClasses();
