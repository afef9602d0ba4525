// Header lookups and date conversion over realistic input, in operations per
// second.
#include "message/IdGlobal.h"
#include "message/IdHeaderList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// A typical received header: trace lines, folded fields, the usual fields.
TIdHeaderList realisticHeader() {
    TIdHeaderList list;
    for (int i = 0; i < 6; ++i) {
        list.Add("Received: from mx" + std::to_string(i) + ".relay.example (mx.relay.example [192.0.2." +
                 std::to_string(i) + "])");
        list.Add("\tby mail.host.example (Postfix) with ESMTPS id 4Fq9x" + std::to_string(i));
        list.Add("\tfor <user@host.example>; Tue, 09 Dec 2026 10:20:3" + std::to_string(i) + " +0100 (CET)");
    }
    list.Add("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=relay.example; s=sel;");
    list.Add("\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;");
    list.Add("\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgaXMgbG9uZyBlbm91Z2g=");
    list.Add("From: Sales Desk <box@host.example>");
    list.Add("To: user@host.example, \"Desk, Sales\" <box@host.example>");
    list.Add("Subject: =?iso-8859-2?Q?P=F8=EDli=B9_drah=E9?= quarterly report");
    list.Add("Date: Tue, 09 Dec 2026 10:20:30 +0100");
    list.Add("Message-Id: <20261209102030.4Fq9x@host.example>");
    list.Add("MIME-Version: 1.0");
    list.Add("Content-Type: multipart/mixed;");
    list.Add(" boundary=\"----=_Part_123_456.789\"");
    list.Add("X-Priority: 3");
    return list;
}

// The lookups that processing one received header makes, present and absent.
void BM_GetFieldValue(benchmark::State& state) {
    const TIdHeaderList list = realisticHeader();
    static const char* const kNames[] = {"Content-Type", "Content-Transfer-Encoding", "Subject", "From",
                                         "Message-Id", "To", "Cc", "Date", "Priority", "X-Priority"};
    std::size_t total = 0;
    for (auto _ : state) {
        for (const char* name : kNames) total += list.GetFieldValue(name).size();
    }
    benchmark::DoNotOptimize(total);
    state.counters["lookups/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * std::size(kNames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetFieldValue);

std::vector<std::string> realisticDates(std::size_t count) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kZones[] = {"+0100", "-0500", "+0000 (UTC)", "GMT", "+0530", "-0800 (PST)"};
    std::mt19937 random(42);
    std::vector<std::string> dates;
    dates.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char buffer[80];
        std::snprintf(buffer, sizeof buffer, "%s, %02u %s %u %02u:%02u:%02u %s", kDays[random() % 7],
                      static_cast<unsigned>(random() % 28 + 1), kMonths[random() % 12],
                      static_cast<unsigned>(1995 + random() % 32), static_cast<unsigned>(random() % 24),
                      static_cast<unsigned>(random() % 60), static_cast<unsigned>(random() % 60),
                      kZones[random() % 6]);
        dates.emplace_back(buffer);
    }
    return dates;
}

// One iteration converts 100,000 dates, each asking the system for its zone.
void BM_InternetDateToLocal(benchmark::State& state) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const std::vector<std::string> dates = realisticDates(100000);
    double sum = 0;
    for (auto _ : state) {
        for (const std::string& date : dates) sum += InternetDateToLocal(date);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["dates/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(dates.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InternetDateToLocal)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
