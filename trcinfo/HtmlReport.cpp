#include "trcinfo/HtmlReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>
#include <vector>

#include "capfile/common/OutputFile.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/OutputOpener.h"
#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "cli/TextCleaning.h"
#include "flow/FormatRecords.h"
#include "trcinfo/CaptureStatistics.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/IoGraph.h"
#include "trcinfo/JsonPresenter.h"

namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 280;
constexpr double kLeft = 80;
constexpr double kRight = 20;
constexpr double kTop = 16;
constexpr double kBottom = 44;
const char* const kColours[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd",
                                "#8c564b", "#e377c2", "#17becf", "#bcbd22"};

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : cli::validUtf8(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// "18:06:40.005" (UTC), to the millisecond, or to the second where the ticks are seconds apart.
std::string clockText(uint64_t nanoseconds, bool fraction) {
    const auto seconds = static_cast<std::time_t>(nanoseconds / 1000000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%H:%M:%S", &utc);
    std::string out = text;
    if (fraction) {
        char milli[8];
        std::snprintf(milli, sizeof milli, ".%03u",
                      static_cast<unsigned>(nanoseconds % 1000000000 / 1000000));
        out += milli;
    }
    return out;
}

std::string rateText(double bitsPerSecond) {
    const char* units[] = {"bit/s", "kbit/s", "Mbit/s", "Gbit/s", "Tbit/s"};
    size_t unit = 0;
    while (bitsPerSecond >= 1000 && unit + 1 < std::size(units)) {
        bitsPerSecond /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%g %s", bitsPerSecond, units[unit]);
    return text;
}

// A table of a JSON object's members; objects and arrays inside as compact JSON.
std::string table(const JsonPresenter::Json& object) {
    std::string out = "<table>\n";
    for (const auto& [key, value] : object.items()) {
        const std::string text =
            value.is_string() ? value.get<std::string>() : JsonPresenter::text(value);
        out += "<tr><th>" + escaped(key) + "</th><td>" + escaped(text) + "</td></tr>\n";
    }
    return out + "</table>\n";
}

// Round numbers for an axis from 0 to at least top: 0, step, 2 step, ...
double niceStep(double top) {
    double power = 1;
    while (power * 10 <= top) {
        power *= 10;
    }
    while (power > top && power > 1e-9) {
        power /= 10;
    }
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (top / (factor * power) <= 5) {
            return factor * power;
        }
    }
    return 10 * power;
}

std::string ioGraph(const IoGraph& graph, const CXcfCaptureFileParser& parser,
                    const CaptureStatistics& stats) {
    const auto& bins = graph.intervals();
    if (bins.empty()) {
        return "<p>No records: no graph.</p>\n";
    }
    const int64_t first = bins.begin()->first;
    const int64_t last = bins.rbegin()->first;
    const double count = static_cast<double>(last - first + 1);
    const double seconds = static_cast<double>(graph.interval()) / 1e9;
    double top = 0;
    for (const auto& [index, bin] : bins) {
        for (const uint64_t bytes : bin.bytes) {
            top = std::max(top, static_cast<double>(bytes) * 8 / seconds);
        }
    }
    top = top > 0 ? top : 1;
    const double yStep = niceStep(top);
    const double yTop = yStep * std::ceil(top / yStep);
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    auto x = [&](double index) { return kLeft + (index - first) / count * plotWidth; };
    auto y = [&](double rate) { return kTop + plotHeight - rate / yTop * plotHeight; };
    auto xTime = [&](uint64_t time) {
        return kLeft + (static_cast<double>(time) - static_cast<double>(graph.startOf(first))) /
                           (count * static_cast<double>(graph.interval())) * plotWidth;
    };

    std::ostringstream svg;
    // The figures behind the lines ride along as data attributes, for whoever checks them.
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"graph\" width=\"" << kWidth
        << "\" height=\"" << kHeight << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
        << "\" role=\"img\" data-interval-ns=\"" << graph.interval() << "\" data-start-ns=\""
        << graph.startOf(first) << "\" data-intervals=\"" << last - first + 1 << "\">\n";
    // The largest gaps, shaded where they stand out: twice the mean step between records at
    // least, and two intervals.
    const uint64_t meanStep = stats.records > 1 ? stats.duration() / (stats.records - 1) : 0;
    for (const IoGraph::Gap& gap : graph.largestGaps()) {
        if (gap.length < 2 * meanStep || gap.length < 2 * graph.interval()) {
            continue;
        }
        const double from = std::max(kLeft, xTime(gap.from));
        const double to = std::min(kWidth - kRight, xTime(gap.from + gap.length));
        if (to - from >= 1) {
            svg << "<rect class=\"gap\" x=\"" << number(from) << "\" y=\"" << kTop << "\" width=\""
                << number(to - from) << "\" height=\"" << plotHeight << "\"><title>gap of "
                << CaptureStatistics::secondsText(gap.length) << "</title></rect>\n";
        }
    }
    // Axes and ticks: rates on the left, UTC times below.
    for (double rate = 0; rate <= yTop + yStep / 2; rate += yStep) {
        svg << "<line class=\"grid\" x1=\"" << kLeft << "\" x2=\"" << kWidth - kRight << "\" y1=\""
            << number(y(rate)) << "\" y2=\"" << number(y(rate)) << "\"/>"
            << "<text class=\"tick\" x=\"" << kLeft - 6 << "\" y=\"" << number(y(rate) + 4)
            << "\" text-anchor=\"end\">" << rateText(rate) << "</text>\n";
    }
    const uint64_t spanNs = static_cast<uint64_t>(count) * graph.interval();
    const uint64_t start = graph.startOf(first);
    // About six ticks, at round times: 1, 2 or 5 times a power of ten nanoseconds apart.
    const uint64_t tickStep = IoGraph::intervalFor(spanNs / 6) * 1000;
    const uint64_t firstTick = (start + tickStep - 1) / tickStep * tickStep;
    for (uint64_t t = firstTick; t <= start + spanNs; t += tickStep) {
        const double at = xTime(t);
        svg << "<line class=\"axis\" x1=\"" << number(at) << "\" x2=\"" << number(at) << "\" y1=\""
            << kTop + plotHeight << "\" y2=\"" << kTop + plotHeight + 5 << "\"/>"
            << "<text class=\"tick\" x=\"" << number(at) << "\" y=\"" << kTop + plotHeight + 18
            << "\" text-anchor=\"middle\">" << clockText(t, tickStep < 1000000000) << "</text>\n";
    }
    svg << "<line class=\"axis\" x1=\"" << kLeft << "\" x2=\"" << kWidth - kRight << "\" y1=\""
        << kTop + plotHeight << "\" y2=\"" << kTop + plotHeight << "\"/>\n";
    // One line per port, 0 where an interval holds none of its records.
    const std::vector<uint8_t> ports = graph.ports();
    for (size_t p = 0; p < ports.size(); ++p) {
        std::string points;
        std::string bytesText;
        for (int64_t index = first; index <= last; ++index) {
            const auto found = bins.find(index);
            const uint64_t bytes = found == bins.end() ? 0 : found->second.bytes[ports[p]];
            const double rate = static_cast<double>(bytes) * 8 / seconds;
            points += number(x(static_cast<double>(index) + 0.5)) + ',' + number(y(rate)) + ' ';
            bytesText += std::to_string(bytes) + ' ';
        }
        points.pop_back();
        bytesText.pop_back();
        svg << "<polyline class=\"port\" data-port=\"" << int(ports[p]) << "\" data-bytes=\""
            << bytesText << "\" stroke=\"" << kColours[p % std::size(kColours)] << "\" points=\""
            << points << "\"/>\n";
    }
    // Damaged frames: a mark under the intervals that hold any.
    for (const auto& [index, bin] : bins) {
        if (bin.damaged != 0) {
            svg << "<rect class=\"damaged\" data-interval=\"" << index - first << "\" data-count=\""
                << bin.damaged << "\" x=\"" << number(x(static_cast<double>(index))) << "\" y=\""
                << kTop + plotHeight + 24 << "\" width=\""
                << number(std::max(2.0, plotWidth / count)) << "\" height=\"8\"><title>"
                << bin.damaged << " damaged</title></rect>\n";
        }
    }
    svg << "</svg>\n";

    std::string legend = "<p class=\"legend\">";
    const auto* family = dynamic_cast<const CXcfPmCaptureFileParser*>(&parser);
    for (size_t p = 0; p < ports.size(); ++p) {
        const std::string name = family ? family->getSourceName(ports[p]) : std::string();
        legend += "<span style=\"color:" + std::string(kColours[p % std::size(kColours)]) +
                  "\">&#9632;</span> port " + std::to_string(ports[p]) +
                  (name.empty() ? "" : " (" + escaped(name) + ")") + " &#160; ";
    }
    legend +=
        "<span class=\"damagedkey\">&#9632;</span> damaged frames &#160; "
        "<span class=\"gapkey\">&#9632;</span> largest gaps</p>\n";
    return "<p>Bits per second per port, in intervals of " +
           CaptureStatistics::secondsText(graph.interval()) + ", UTC from " +
           escaped(CaptureStatistics::isoText(start)) + ".</p>\n" + svg.str() + legend;
}

std::string histogram(const CaptureStatistics& stats) {
    uint64_t top = 1;
    for (const uint64_t n : stats.buckets) {
        top = std::max(top, n);
    }
    const double barWidth = 80;
    const double height = 160;
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"histogram\" width=\""
        << barWidth * 10 + 20 << "\" height=\"" << height + 40 << "\" role=\"img\">\n";
    for (size_t i = 0; i < stats.buckets.size(); ++i) {
        const double h = static_cast<double>(stats.buckets[i]) / static_cast<double>(top) * height;
        const std::string range =
            std::to_string(CaptureStatistics::kBucketStarts[i]) +
            (i + 1 < stats.buckets.size()
                 ? "-" + std::to_string(CaptureStatistics::kBucketStarts[i + 1] - 1)
                 : "+");
        svg << "<rect class=\"bar\" x=\"" << 10 + barWidth * i + 4 << "\" y=\""
            << number(10 + height - h) << "\" width=\"" << barWidth - 8 << "\" height=\""
            << number(h) << "\"><title>" << stats.buckets[i] << " frames of " << range
            << " bytes</title></rect><text class=\"tick\" x=\"" << 10 + barWidth * i + barWidth / 2
            << "\" y=\"" << height + 26 << "\" text-anchor=\"middle\">" << range << "</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;color:#222;max-width:1000px}"
    "h1{font-size:1.4em}h2{font-size:1.2em;border-top:1px solid #ccc;padding-top:1em}"
    "table{border-collapse:collapse;margin:0.5em 0;font-size:0.85em}"
    "th,td{border:1px solid #ddd;padding:2px 8px;text-align:left;vertical-align:top}"
    "th{background:#f4f4f4;font-weight:normal}"
    ".tables{display:flex;gap:2em;flex-wrap:wrap}"
    ".warning{color:#a00;white-space:pre-wrap}"
    "svg text.tick{font-size:11px;fill:#444}svg .grid{stroke:#eee}svg .axis{stroke:#888}"
    "svg polyline.port{fill:none;stroke-width:1.5}svg .gap{fill:#fbe3b0;opacity:0.6}"
    "svg .damaged{fill:#d62728}svg .bar{fill:#1f77b4}"
    ".damagedkey{color:#d62728}.gapkey{color:#f5c56a}";

}  // namespace

bool HtmlReport::add(const std::string& fileName) {
    inputs.push_back(fileName);
    std::string section = "<h2>" + escaped(fileName) + "</h2>\n";
    const std::string refusal = cli::inputRefusal(fileName);
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser =
        refusal.empty() ? factory.createParser(fileName) : nullptr;
    if (!parser) {
        section += "<p class=\"warning\">ERROR (openInputFile) - Failed to open file: '" +
                   escaped(fileName) + "'\nbecause: " +
                   escaped(refusal.empty() ? cli::openFailureReason(factory, 1) : refusal) +
                   "</p>\n";
        sections += section;
        return false;
    }
    CXcfCaptureFileParser& file = *parser;
    const uint32_t total = file.numberOfRecords;
    auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(&file);
    std::string statisticsTable;
    std::string graphs;
    if (family == nullptr) {
        graphs = "<p>The records of a " + escaped(file.getFormatCode()) +
                 " file are not read: no statistics or graph.</p>\n";
    } else {
        // The first and the last record's times choose the graph's interval.
        uint32_t s = 0;
        uint32_t ns = 0;
        const uint64_t firstTime =
            total > 0 && family->readRecordTime(1, s, ns) ? flow::recordTime(s, ns) : 0;
        const uint64_t lastTime =
            total > 0 && family->readRecordTime(total, s, ns) ? flow::recordTime(s, ns) : firstTime;
        IoGraph graph(firstTime, lastTime);
        CaptureStatistics stats;
        ReadStop stop;
        const bool complete = FileInspector::visitRecords(
            file, 1, total, stop,
            [&](uint32_t, const CXcfCaptureRecord& record) {
                stats.add(record);
                graph.add(flow::recordTime(record), record.getPortNumber(), record.getFrameLength(),
                          record.isDamagedFrame());
                return true;
            },
            [&](uint32_t, const xcf::RunRecord& record) {
                stats.add(record);
                graph.add(flow::recordTime(record.seconds, record.nanoseconds),
                          record.portByte & 0x7F, record.frameLength,
                          (record.portByte & CXcfCaptureRecord::kDamagedFrameBit) != 0);
            },
            "trcinfo");
        statisticsTable = "<div><h3>Statistics</h3>\n" +
                          table(JsonPresenter::statistics(file, stats)) + "</div>\n";
        if (!complete) {
            graphs += "<p class=\"warning\">" + escaped(stop.warning()) + "</p>\n";
        }
        graphs += "<h3>I/O graph</h3>\n" + ioGraph(graph, file, stats) +
                  "<h3>Frame lengths</h3>\n" + histogram(stats);
    }
    section += "<div class=\"tables\"><div><h3>Header</h3>\n" + table(JsonPresenter::header(file)) +
               "</div>\n" + statisticsTable + "</div>\n" + graphs;
    sections += section;
    return true;
}

bool HtmlReport::write() const {
    const std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        "<title>Captures at a glance</title>\n<style>" +
        std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>Captures at a glance</h1>\n" +
        sections + "</body>\n</html>\n";
    // The name is checked as every program checks its output: never one of the inputs.
    const cli::RunReport report(output);
    const cli::OutputOpener opener(report, inputs);
    cli::SafeOutput safe;
    if (!opener.check(safe, output)) {
        return false;
    }
    std::string reason;
    xcf::OutputFile file;
    const bool made = safe.createTemporary(
        [&file](const std::string& name) {
            return file.create(name, xcf::OutputFile::Creation::kNewOnly)
                       ? 0
                       : (file.systemError() != 0 ? file.systemError() : EIO);
        },
        reason);
    if (!made) {
        opener.refuse(output, reason);
        return false;
    }
    file.put(page.data(), page.size());
    if (!file.close() || !safe.commit(reason)) {
        if (reason.empty()) {
            reason = xcf::systemErrorText(file.systemError());
        }
        std::remove(safe.temporaryName().c_str());
        printLine("ERROR (writeReport) - Failed to write file: '" + output +
                  "'\nbecause: " + reason);
        return false;
    }
    return true;
}
