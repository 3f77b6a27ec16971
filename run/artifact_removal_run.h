#pragma once

// One artifact removal run: the body of the plug-in's execute. Talks to the
// user through the host, makes the corrected copy of the chosen recording and
// returns the run's result.
bool runArtifactRemoval();
