// The reporting outputs: the sink (Output.h), its pages to lists or streams
// (PagesOutput.h), and report files written as lines arrive (LinesFile.h).
#pragma once

#include "LinesFile.h"
#include "Output.h"
#include "PagesOutput.h"
