// The upload session's rules (being built).
#pragma once
