// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG and PNG documents, decoded here so that a damaged file aborts its
// job with a message naming the fault (PAPPL 1.3.1's own PNG reader loops
// for ever on one), then printed through PAPPL's image placement.
#pragma once

#include <pappl/pappl.h>

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void* data);
bool PrintPng(pappl_job_t* job, pappl_device_t* device, void* data);
