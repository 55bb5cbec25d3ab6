// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-app-demo <out-dir>: a sample photo printed as a JPEG over IPP through
// qv46-printer-app into a simulated QV-46, and what the printer received
// decoded into plane BMPs and a preview.
#include <iostream>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qv46-app-demo <out-dir>\n";
    return 2;
  }
  const std::string out = argv[1];
  apptest::AppUnderTest app;
  std::string error;
  if (!app.Start(&error)) {
    std::cerr << "qv46-app-demo: " << error << "\n";
    return 1;
  }
  // Written with libjpeg as ImageMagick's `convert -quality 92` writes it
  // (no chroma subsampling from quality 90 up), so the demo needs no ImageMagick.
  const std::string jpeg = app.Work() + "/sample-photo.jpg";
  if (!apptest::WriteJpeg(jpeg, e2e::SamplePhoto(1200, 800), {}, 92)) {
    std::cerr << "qv46-app-demo: cannot make the sample photo\n";
    return 1;
  }
  std::cout << "== qv46-printer-app serves the simulated QV-46 " << app.Serial() << " at "
            << app.PrinterUri() << "\n"
            << "   media-ready: " << app.PrinterAttribute("media-ready")
            << ", marker-levels: " << app.PrinterAttribute("marker-levels") << "\n";
  const size_t before = app.Captured();
  const int job = app.Print(jpeg, "image/jpeg",
                            {"keyword media na_index-4x6_4x6in", "keyword overcoat-finish matte"});
  const std::string state = app.WaitForJob(job);
  std::cout << "\n== Print-Job sample-photo.jpg (6x4in, overcoat-finish=matte): job " << job << " "
            << state << "\n";
  if (state.rfind("completed", 0) != 0) return 1;
  const std::string stream = app.JobStreamSince(before);
  e2e::WriteFile(out + ".bin", stream);
  std::string listing;
  const int status = apptest::Run({QV46_STREAM, "-o", out, out + ".bin"}, &listing);
  std::cout << "\n== What the printer received (" << stream.size() << " bytes):\n" << listing;
  return status == 0 ? 0 : 1;
}
