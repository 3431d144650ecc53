#pragma once
// The identity merge of a new record of a known live aircraft: a changed route,
// callsign or registration, and whether the aircraft must be created again with
// another livery. Worker thread only (inside the merge).

struct LiveAc;
struct TrafficRecord;

// True: go on with the normal merge of the record's sample; false: done here.
bool respawnAc(LiveAc& ac, const TrafficRecord& record);
void lf_mergeRoute(LiveAc& ac, const TrafficRecord& record);
void lf_mergeBufferedIdentity(LiveAc& ac, const TrafficRecord& record);
// True when nothing changed.
bool lf_mergeActiveRoute(LiveAc& ac, const TrafficRecord& record);
// True when the livery stays.
bool lf_mergeRegistration(LiveAc& ac, const TrafficRecord& record);
// True when the aircraft is to wear another livery.
bool lf_reliveryByRegcode(LiveAc& ac, const TrafficRecord& record);
bool lf_reliveryByDbase(LiveAc& ac, const TrafficRecord& record);
// Forgets the remembered title; the title and phase go only when a respawn follows.
void lf_resetLivery(LiveAc& ac);
