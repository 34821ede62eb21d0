#include "sync/SyncTrackNames.h"

const char* const syncTrackNames[SYNC_TRACK_NAME_COUNT] = {
    // camera
    "Camera.Mode", "Camera.X", "Camera.Y", "Camera.Z", "Focus.X", "Focus.Y", "Focus.Z",
    "Camera.Distance", "Camera.Pitch", "Camera.Yaw", "Camera.Roll",
    // rings
    "Ring1.Progress", "Ring1.Rotation", "Ring2.Progress", "Ring2.Rotation",
    // post-processing
    "FX.EnableBloom", "FX.RenderDepth", "FX.HighPassCutoff", "FX.BlurMagnitude", "FX.Fade",
    "FX.BloomDry", "FX.BloomWet", "FX.Exposure", "FX.Flash", "FX.Vignette",
    "FX.BG_R", "FX.BG_G", "FX.BG_B", "FX.BG_A",
    // wireframe cubes
    "Cube.Visible", "Cube.Z", "Cube.Scale",
    // noise grid
    "Grid.Visible", "Grid.Noise1", "Grid.Noise2", "Grid.Noise3", "Grid.Noise4",
    "Grid.NoiseMagnitude", "Grid.NoiseScrollX", "Grid.NoiseScrollY", "Grid.CenterGravity",
    // flakes
    "Flakes.Visible", "Flakes.X", "Flakes.Y", "Flakes.Z", "Flakes.Time", "Flakes.Fade",
    // needles
    "Needles.Visible", "Needles.X", "Needles.Y", "Needles.Z", "Needles.Time", "Needles.Fade",
};
