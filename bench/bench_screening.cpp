// Screening 10,000 realistic message headers: decoding the review columns
// (encoded-word From, To and Subject, Date, attachment name) and the DNS
// block-list test over three or four received lines each, then the
// classification pass with virus, subject, sender and recipient lists of
// 1,000 entries each. The resolver is an in-process table, so the figures
// are the screening code's own cost, not the network's.
//
// Baselines in the same run: copying every header line (the cost of touching
// the bytes once) for the decoding, and the classification pass with empty
// lists for the list matching.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "SerialBlockListTest.h"
#include "platform/HostResolver.h"
#include "platform/MimeTypes.h"
#include "screening/AttachmentName.h"
#include "screening/Classification.h"
#include "screening/DnsBlockList.h"
#include "screening/EncodedWords.h"
#include "screening/HeaderFields.h"
#include "screening/MailDate.h"

namespace {

using namespace qb;
constexpr std::size_t kHeaders = 10000;
constexpr std::size_t kListEntries = 1000;
constexpr const char* kZone = "bl.example.org";

// Every 50th relay is listed; the rest do not resolve.
class TableResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string& hostName) override {
    if (std::hash<std::string>{}(hostName) % 50 != 0) return {};
    return {{127, 0, 0, 2}};
  }
};

std::string Dotted(std::size_t n) {
  return std::to_string(10 + n % 200) + "." + std::to_string(n / 7 % 256) + "." +
         std::to_string(n / 13 % 256) + "." + std::to_string(1 + n % 254);
}

TextLines MakeHeader(std::size_t n) {
  std::string id = std::to_string(n);
  TextLines lines = {
      "+OK " + std::to_string(2000 + n % 30000) + " octets",
      "Return-Path: <sender" + id + "@example.com>",
      "Received: from mx" + id + ".example.net (mx" + id + ".example.net [" + Dotted(n) + "])",
      "        by pop.example.org (Postfix) with ESMTP id " + id + ";",
      "        Tue, 10 Jun 2003 09:41:05 +0200",
      "Received: from relay.example.com (relay.example.com [" + Dotted(n * 31 + 7) + "])",
      " by mx" + id + ".example.net with SMTP; Tue, 10 Jun 2003 09:40:01 +0200",
      "Received: from [" + Dotted(n * 17 + 3) + "] (helo=workstation)",
      "Message-ID: <" + id + "@mail.example.com>",
      "Date: Tue, 10 Jun 2003 09:41:05 +0200",
      "From: =?iso-8859-1?Q?Andr=E9_Sender_" + id + "?= <sender" + id + "@example.com>",
      "To: \"Recipient\" <user" + std::to_string(n % 40) + "@example.org>",
      n % 2 ? "Subject: =?utf-8?B?UmU6IFF1YXJ0ZXJseSByZXBvcnQgZm9yIHRoZSB0ZWFt?= " + id
            : "Subject: =?iso-8859-1?Q?Caf=E9_au_lait_meeting?= no. " + id,
      "MIME-Version: 1.0",
  };
  if (n % 3 == 0) {
    lines.push_back("Content-Type: application/pdf; name=\"=?iso-8859-1?Q?r=E9sum=E9_" + id +
                    ".pdf?=\"");
    lines.push_back("Content-Disposition: attachment; filename=\"resume.pdf\"");
  } else {
    lines.push_back("Content-Type: multipart/mixed; boundary=\"----=_NextPart_" + id + "\"");
  }
  return lines;
}

std::vector<TextLines> MakeHeaders() {
  std::vector<TextLines> headers;
  for (std::size_t n = 0; n < kHeaders; ++n) headers.push_back(MakeHeader(n));
  return headers;
}

TextLines MakeList(const std::string& stem) {
  TextLines list;
  for (std::size_t i = 0; i < kListEntries; ++i) list.push_back(stem + std::to_string(i));
  return list;
}

ScreeningState MakeState(bool withLists) {
  ScreeningState state;
  state.DnsblList = {kZone};
  if (withLists) {
    state.VirusList = MakeList("Virus alert ");
    state.SubjectList = MakeList("Cheap offer ");
    state.SenderList = MakeList("spammer");
    state.RecipientList = MakeList("list-");
  }
  state.UidlReply.push_back("+OK");
  for (std::size_t n = 1; n <= kHeaders; ++n) {
    state.UidlReply.push_back(std::to_string(n) + " uid-" + std::to_string(n));
  }
  state.UidlReply.push_back(".");
  return state;
}

// The address inside angle brackets, as the From and To columns show it.
std::string AddressPart(const std::string& text) {
  std::size_t open = text.find('<');
  std::size_t close = text.find('>');
  if (open == std::string::npos || close == std::string::npos || close < open) return text;
  return text.substr(open + 1, close - open - 1);
}

MessageRow DecodeRow(const TextLines& header, std::size_t n, const IMimeTypes& types) {
  MessageRow row;
  row.From = AddressPart(DecodeEncodedWords(GetHeaderValue(header, "From")));
  row.Subject = DecodeEncodedWords(GetHeaderValue(header, "Subject"));
  row.Size = std::to_string(2000 + n % 30000);
  row.Number = static_cast<std::int64_t>(n + 1);
  row.To = AddressPart(DecodeEncodedWords(GetHeaderValue(header, "To")));
  row.Date = ReviewDateText(DecodeEncodedWords(GetHeaderValue(header, "Date")));
  row.File = DecodeEncodedWords(GetAttachmentName(header, types));
  return row;
}

// Decoding every header and the DNS block-list test, as the scan does.
void ScreenHeaders(const std::vector<TextLines>& headers, ScreeningState& state, ReviewList& review,
                   IHostResolver& resolver, const IMimeTypes& types) {
  for (std::size_t n = 0; n < headers.size(); ++n) {
    bool listed = bench::SerialBlockListTest(headers[n], state.DnsblList.front(), resolver);
    state.SpamFlags.push_back(listed ? "1" : "0");
    review.Add(DecodeRow(headers[n], n, types));
  }
}

template <typename Work>
double SecondsFor(Work work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reports the run's headers per second and the time per header.
void Report(benchmark::State& state, const std::string& name, double seconds) {
  double perSecond = static_cast<double>(state.iterations() * kHeaders) / seconds;
  state.counters["per_header_ns"] = 1e9 / perSecond;
  qb::bench::Record(name, perSecond);
}

template <typename Work>
void Measure(benchmark::State& state, const std::string& name, Work work) {
  double seconds = 0;
  for (auto _ : state) {
    double elapsed = SecondsFor(work);
    seconds += elapsed;
    state.SetIterationTime(elapsed);
  }
  Report(state, name, seconds);
}

const std::vector<TextLines>& Headers() {
  static const std::vector<TextLines> headers = MakeHeaders();
  return headers;
}

void BM_CopyHeaderBytes(benchmark::State& state) {
  Measure(state, "copy header bytes", [] {
    std::size_t bytes = 0;
    for (const TextLines& header : Headers()) {
      TextLines copy = header;
      for (const std::string& line : copy) bytes += line.size();
    }
    benchmark::DoNotOptimize(bytes);
  });
}

void BM_DecodeAndDnsblTest(benchmark::State& state) {
  TableResolver resolver;
  const IMimeTypes& types = CurrentMimeTypes();
  Measure(state, "decode + dnsbl test", [&] {
    ScreeningState screening = MakeState(false);
    ReviewList review;
    ScreenHeaders(Headers(), screening, review, resolver, types);
    benchmark::DoNotOptimize(review.Rows().data());
  });
}

void RunClassification(benchmark::State& state, const std::string& name, bool withLists) {
  TableResolver resolver;
  ScreeningState screening = MakeState(withLists);
  ReviewList scanned;
  ScreenHeaders(Headers(), screening, scanned, resolver, CurrentMimeTypes());
  double seconds = 0;
  for (auto _ : state) {
    ReviewList review = scanned;
    auto start = std::chrono::steady_clock::now();
    Listele(review, screening);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    seconds += elapsed;
    state.SetIterationTime(elapsed);
    benchmark::DoNotOptimize(review.Rows().data());
  }
  Report(state, name, seconds);
}

void BM_ListeleWith1000EntryLists(benchmark::State& state) {
  RunClassification(state, "classify, lists of 1000", true);
}

void BM_ListeleWithEmptyLists(benchmark::State& state) {
  RunClassification(state, "classify, empty lists", false);
}

void BM_WholeScreening(benchmark::State& state) {
  TableResolver resolver;
  const IMimeTypes& types = CurrentMimeTypes();
  Measure(state, "decode + dnsbl + classify", [&] {
    ScreeningState screening = MakeState(true);
    ReviewList review;
    ScreenHeaders(Headers(), screening, review, resolver, types);
    Listele(review, screening);
    benchmark::DoNotOptimize(review.Rows().data());
  });
}

BENCHMARK(BM_CopyHeaderBytes)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndDnsblTest)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListeleWithEmptyLists)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListeleWith1000EntryLists)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeScreening)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return qb::bench::RunAndCompare(argc, argv,
                                  {{"decode + dnsbl test", "copy header bytes"},
                                   {"classify, lists of 1000", "classify, empty lists"},
                                   {"decode + dnsbl + classify", "copy header bytes"}},
                                  "headers/s");
}
