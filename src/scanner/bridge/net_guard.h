#pragma once
// Bounds on waiting for scanners on the network, and letting go of a server
// that stopped answering.

// How long opening a scanner or searching for scanners may wait: the user's
// own connect timeout (`connect_timeout` in SANE's net.conf, or
// SANE_NET_TIMEOUT) where one is set, else 30 seconds.
int NetworkOpenBoundMs();
// How long a scan may go without data: 90 seconds.
int NetworkStallBoundMs();
// Both can be shortened for tests of the whole program through
// KVNSCAN_OPEN_BOUND_MS and KVNSCAN_STALL_BOUND_MS.

// Before a SANE session starts: lets SANE's net backend give up making a
// connection after `boundMs` too (a host that takes no connections would
// otherwise hold the call for minutes), through SANE_NET_TIMEOUT, unless the
// user set a connect timeout of their own there or in net.conf. SANE 1.2's
// timeout bounds only making the connection, not a server that accepts it
// and stays silent.
void OfferConnectTimeout(int boundMs);

// Shuts down this process's connections to SANE servers, so that calls
// blocked on them return at once with an error. Only for a session that is
// being given up: the descriptors stay SANE's, which closes them. Returns how
// many were cut.
int CutServerConnections();
