#pragma once

// The device feature flag that lets KIVO start: it runs only where the flag reads 1.
constexpr int kKivoFeatureFlag = 356;
