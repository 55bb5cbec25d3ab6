// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG and PNG documents, decoded here (upright, in sRGB, no larger than the
// page needs) so that a damaged file aborts its job with a message naming
// the fault (PAPPL 1.3.1's own PNG reader loops for ever on one), placed as
// the classic queue places them and printed through PAPPL's image filter.
#pragma once

#include <pappl/pappl.h>

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void* data);
bool PrintPng(pappl_job_t* job, pappl_device_t* device, void* data);
