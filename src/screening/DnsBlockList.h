// The DNS block-list test: the relay addresses of a message's received
// lines are looked up in the block-list zone named by the first line of
// dnsbl.txt. The lookups themselves are TDnsblChecker's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/HostResolver.h"
#include "screening/ScreeningText.h"

namespace qb {

// The relay records of a header: each line beginning "received: " (any
// case) joined with the non-empty following lines that begin with a blank.
TextLines RelayRecords(const TextLines& headerLines);

// The relay address of one record: the text in square brackets inside the
// first parenthesis after "from" (or the parenthesis itself when it holds
// no brackets); empty when the result does not begin with a digit.
std::string RelayAddress(std::string_view record);

// Whether an answer of a block-list lookup says "listed". Block lists answer
// inside 127.0.0.0/8; 127.255.255.0/24 holds their error codes (query
// refused, typing error, too many queries) and an address outside 127/8 is
// a resolver that answers every name, so neither counts.
bool IsListedAnswer(const Ipv4Address& answer);

// Whether an answer is one of a block list's error codes (127.255.255.0/24):
// the list refuses the query, typically because it came through a public
// resolver.
bool IsErrorCodeAnswer(const Ipv4Address& answer);

// The name looked up for a dotted IPv4 address: its four parts reversed,
// then "." and the zone ("1.2.3.4" in "bl.example.org" is
// "4.3.2.1.bl.example.org").
std::string BlockListQueryName(std::string_view address, const std::string& zone);

// Whether the text is a dotted IPv4 address that a public block list can
// hold: not private (10/8, 172.16/12, 192.168/16), loopback (127/8),
// link-local (169.254/16), shared (100.64/10), "this network" (0/8),
// multicast (224/4) or reserved (240/4, the broadcast address included).
bool IsPublicRelayAddress(std::string_view address);

// The relay addresses of the header worth a lookup, in header order: the
// public ones among the RelayAddress of each of its RelayRecords.
TextLines RelayAddressesToCheck(const TextLines& headerLines);

}  // namespace qb
