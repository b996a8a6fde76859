#pragma once
// The words the iPod reader program prints, one a line, for the program that
// started it to interpret.

constexpr char kReportTracksRead[] = "tracks-read";
constexpr char kReportAllRead[] = "all-read";
constexpr char kReportIncomplete[] = "incomplete";
constexpr char kReportNoArtwork[] = "artwork-unreadable";
constexpr char kReportRefused[] = "refused ";
