// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The /tmp names of a job; the device URI itself is common/Serial.h's.
#pragma once

#include <string>

namespace zelbackend {

// The pause marker the status daemon looks for while this job prints:
// "Pause_" and the URI with "/" turned into "_", then ".job" and the job id,
// so two queues sharing a printer never remove each other's marker.
std::string PauseMarkerPath(const std::string& tmpDir, const std::string& serial,
                            const std::string& jobId);

// The job information file the filter waits for: "<tmpDir>/Print_<job>.log".
std::string JobInfoPath(const std::string& tmpDir, const std::string& jobId);

// The file that says the backend still waits for its printer:
// "<tmpDir>/Print_<job>.wait".
std::string BackendWaitPath(const std::string& tmpDir, const std::string& jobId);

// Job ids from CUPS are decimal numbers; anything else could escape /tmp.
bool ValidJobId(const std::string& jobId);

}  // namespace zelbackend
