#include "interface/parameter.h"

#include <cstdio>
#include <cstring>

#include "interface/api_lock.h"
#include "interface/memory.h"
#include "interface/result.h"

namespace vtl {
namespace {

VantrelParameter* g_block = nullptr;

constexpr int kBuildNumber = 1;

// Room for every segmenter state of the library; a fixed table needs no heap.
constexpr int kMaxStateReleases = 4;
StateRelease g_releases[kMaxStateReleases] = {};

}  // namespace

VantrelParameter* CreateVantrelParameter() {
  auto* block = AllocateZeroed<VantrelParameter>(1);
  if (block == nullptr) return nullptr;
  std::snprintf(block->BuildText, sizeof block->BuildText, "1.3.%d.1--Compiled Date:%s,%s",
                kBuildNumber, __DATE__, __TIME__);
  block->MakeFingerImages = 1;
  block->BoxSearchLength = 750;
  block->MinFingerWidth = 150;
  block->MinFingerHeight = 300;
  block->MinFingerSeparation = 150;
  block->RunningSumRadius = 1;
  block->WorkResolution = 62;
  block->MinComponentArea = 19200;
  block->LastResult = nullptr;
  return block;
}

VantrelParameter* GetVantrelParameter() {
  if (g_block == nullptr) g_block = CreateVantrelParameter();
  return g_block;
}

void RegisterStateRelease(StateRelease release) {
  for (StateRelease& slot : g_releases) {
    if (slot == release) return;
    if (slot == nullptr) {
      slot = release;
      return;
    }
  }
}

int32_t ToWorkingLength(const VantrelParameter& block, int32_t value) {
  return value * block.WorkResolution / 500;
}

int32_t ToWorkingArea(const VantrelParameter& block, int32_t value) {
  return ToWorkingLength(block, ToWorkingLength(block, value));
}

}  // namespace vtl

using vtl::g_block;

void DestroyVantrelParameter() {
  const vtl::ApiLock lock;
  if (g_block != nullptr) {
    vtl::ReleaseResult(&g_block->LastResult);
    vtl::Release(g_block);
    g_block = nullptr;
  }
  for (const vtl::StateRelease release : vtl::g_releases) {
    if (release != nullptr) release();
  }
}

void VtlSetImageFileName(const char* name) {
  const vtl::ApiLock lock;
  vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  if (block == nullptr) return;
  // Truncate rather than overrun the fixed field; null clears the name.
  std::size_t n = 0;
  if (name != nullptr) {
    while (n < vtl::kImageFileNameSize - 1 && name[n] != '\0') ++n;
    std::memcpy(block->ImageFileName, name, n);
  }
  block->ImageFileName[n] = '\0';
}

char* VtlGetImageFileName() {
  const vtl::ApiLock lock;
  vtl::VantrelParameter* block = vtl::GetVantrelParameter();
  return block == nullptr ? nullptr : block->ImageFileName;
}
