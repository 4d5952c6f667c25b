// The DNS block-list test: the relay addresses of a message's received
// lines are looked up in the block-list zone named by the first line of
// dnsbl.txt. Lookups block the calling thread.
#pragma once

#include <string>
#include <string_view>

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

// Whether the dotted IPv4 address is listed in the zone on the first line
// of `dnsblList`. No lookup is made when the list or the zone is empty.
bool IsListedAddress(std::string_view address, const TextLines& dnsblList, IHostResolver& resolver);

// True when a relay address of the header is listed; the records are tried
// in header order and the test stops at the first listed one.
bool DnsBlockListTest(const TextLines& headerLines, const TextLines& dnsblList,
                      IHostResolver& resolver);

}  // namespace qb
