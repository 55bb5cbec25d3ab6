// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The small files the programs and the backend share in /tmp: their names,
// the status file's keys and the offline status. Header only, so that every
// program includes it and still links nothing of another.
//
//   status file      <tmp>/QV-46_<serial>.log      daemon writes, monitor reads
//   watch file       <tmp>/QV-46_<serial>_UTIL     monitor writes, daemon reads
//   count request    <tmp>/QV-46_<serial>_TC_UTIL  monitor writes, daemon deletes
//   pause marker     <tmp>/Pause_<uri>.job<job>    backend writes, daemon reads
//   job information  <tmp>/Print_<job>.log         backend writes, filter reads
//   backend waiting  <tmp>/Print_<job>.wait        backend writes, filter reads
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

constexpr char kTmpDir[] = "/tmp";

// The backend and the daemon run as root and publish their files whole:
// a regular file of one link that no one else may write. Any local user may
// create these names first, so a reader takes a file only when it is such a
// file owned by root, or by the reader's own user (a test or the demo,
// which could change the reader's work anyway). Given the reader's fstat
// of the file it opened without following links.
inline bool IsPublishedFile(const struct stat& info, uid_t reader) {
  return S_ISREG(info.st_mode) && info.st_nlink == 1 &&
         (info.st_uid == 0 || info.st_uid == reader) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

constexpr char kPrinterFilePrefix[] = "QV-46_";
constexpr char kStatusFileSuffix[] = ".log";
constexpr char kWatchFileSuffix[] = "_UTIL";
constexpr char kCountRequestSuffix[] = "_TC_UTIL";

// The queue's device URI with every "/" turned into "_", so that the marker
// stays a name in /tmp itself; the serial, ".job" and the job id follow.
constexpr char kDeviceUriPrefix[] = "valdren-zelbackend://VALDREN/QV-46?serial=";
constexpr char kPauseMarkerPrefix[] = "Pause_valdren-zelbackend:__VALDREN_QV-46?serial=";
constexpr char kPauseMarkerJobTag[] = ".job";

constexpr char kJobInfoPrefix[] = "Print_";
constexpr char kJobInfoSuffix[] = ".log";
// Beside the job information file while the backend still looks for its
// printer: the backend's process id in decimal and a line feed. The filter
// waits for the job information as long as that process is there.
constexpr char kBackendWaitSuffix[] = ".wait";

// Status file keys, in the order the daemon writes them. The job information
// file uses MEDIA_SIZE and MEDIA_REMAIN_HALF too.
constexpr char kKeyPrinterStatus[] = "PRINTER_STATUS";
constexpr char kKeyPrinterMessage[] = "PRINTER_MESSAGE";
constexpr char kKeyPrinterVersion[] = "PRINTER_VERSION";
constexpr char kKeyPrinterSerialNo[] = "PRINTER_SERIAL_NO";
constexpr char kKeyMediaSize[] = "MEDIA_SIZE";
constexpr char kKeyMediaInitial[] = "MEDIA_INITIAL";
constexpr char kKeyMediaRemain[] = "MEDIA_REMAIN";
constexpr char kKeyMediaRemainHalf[] = "MEDIA_REMAIN_HALF";
constexpr char kKeyTotalCount[] = "TOTAL_COUNT";
constexpr const char* kStatusFileKeys[] = {
    kKeyPrinterStatus, kKeyPrinterMessage, kKeyPrinterVersion,  kKeyPrinterSerialNo, kKeyMediaSize,
    kKeyMediaInitial,  kKeyMediaRemain,    kKeyMediaRemainHalf, kKeyTotalCount,
};

// PRINTER_STATUS of a printer that has left or does not answer.
constexpr long kOfflineStatus = 99999;
