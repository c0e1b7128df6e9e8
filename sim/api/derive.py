#!/usr/bin/env python3
"""Derives sim/api/cluster-api.json, the simulator's description of the cluster's REST interface,
from the API descriptions clusters publish about themselves (the ?describe output, as data).

Regenerate after the published files change:
    python3 sim/api/derive.py /work/shared/cluster-api > sim/api/cluster-api.json

Only the resources the library and the simulator use are kept; every other served path stays in
`served_paths`, so that the release gate still knows which versions exist. The published
schemas say nothing of additionalProperties, yet a cluster refuses members it does not declare:
every object schema that lists its properties gets "additionalProperties": false here.

The published files lost every member named `description` with the prose descriptions they were
stripped of; the objects that carry one (shares, exports, job-engine jobs and job types, SyncIQ
policies) get it back here, as text, in their replies and in the bodies that create or change them.
"""
import json
import os
import sys

RELEASES = ["8.0.1.2", "7.2.1.6"]

# Resource templates without their version.
USED = [
    "/cluster/external-ips",
    "/cluster/version",
    "/protocols/nfs/exports",
    "/protocols/nfs/exports/<EID>",
    "/protocols/smb/shares",
    "/protocols/smb/shares/<SHARE>",
    "/zones",
    "/zones/<ZONE>",
    "/snapshot/snapshots",
    "/snapshot/snapshots/<SID>",
    "/snapshot/changelists",
    "/snapshot/changelists/<CHANGELIST>",
    "/snapshot/changelists/<CHANGELIST>/lins",
    "/snapshot/changelists/<CHANGELIST>/lins/<LIN>",
    "/job/jobs",
    "/job/jobs/<JID>",
    "/job/types",
    "/job/types/<NAME>",
    "/sync/policies",
    "/sync/policies/<POLICY>",
    "/sync/jobs",
    "/sync/jobs/<JOB>",
    "/sync/reports",
    "/sync/reports/<RID>",
]


# Resource template -> the schemas whose objects carry a `description`: "METHOD_input_schema" for
# the body itself, "METHOD_output_schema.LIST" for the entries of a reply's list.
WITH_DESCRIPTION = {
    "/protocols/smb/shares": ["GET_output_schema.shares", "POST_input_schema"],
    "/protocols/smb/shares/<SHARE>": ["GET_output_schema.shares", "PUT_input_schema"],
    "/protocols/nfs/exports": ["GET_output_schema.exports", "POST_input_schema"],
    "/protocols/nfs/exports/<EID>": ["GET_output_schema.exports", "PUT_input_schema"],
    "/job/jobs": ["GET_output_schema.jobs"],
    "/job/jobs/<JID>": ["GET_output_schema.jobs"],
    "/job/types": ["GET_output_schema.types"],
    "/job/types/<NAME>": ["GET_output_schema.types"],
    "/sync/policies": ["GET_output_schema.policies", "POST_input_schema"],
    "/sync/policies/<POLICY>": ["GET_output_schema.policies", "PUT_input_schema"],
}


def restore_descriptions(template, resource):
    for place in WITH_DESCRIPTION.get(template, []):
        key, _, member = place.partition(".")
        schema = resource.get(key)
        if schema is None:
            continue
        if member:
            schema = schema.get("properties", {}).get(member, {}).get("items")
        if isinstance(schema, dict) and "properties" in schema:
            schema["properties"].setdefault("description", {"type": "string"})


def close_objects(schema):
    """Adds additionalProperties: false to every object schema that lists properties."""
    if isinstance(schema, list):
        return [close_objects(s) for s in schema]
    if not isinstance(schema, dict):
        return schema
    out = {}
    for key, value in schema.items():
        if key == "properties":
            out[key] = {name: close_objects(s) for name, s in value.items()}
        elif key in ("items", "type", "additionalProperties"):
            out[key] = close_objects(value)
        else:
            out[key] = value
    if "properties" in out and "additionalProperties" not in out:
        out["additionalProperties"] = False
    return out


def split(path):
    """'/3/job/jobs' -> (3, '/job/jobs')."""
    version, rest = path[1:].split("/", 1)
    return int(version), "/" + rest


def derive(folder):
    result = {
        "source": "Derived by sim/api/derive.py from the cluster API descriptions "
        + ", ".join(r + ".json" for r in RELEASES)
        + " (the ?describe output of each resource, as published for those releases)",
        "releases": {},
    }
    for release in RELEASES:
        with open(os.path.join(folder, release + ".json"), encoding="utf-8") as f:
            data = json.load(f)
        resources = {}
        for path, description in data["resources"].items():
            version, template = split(path)
            if template not in USED:
                continue
            resources[template] = {"version": version}
            for key, value in description.items():
                if key.endswith("_args") or key.endswith("_schema"):
                    resources[template][key] = close_objects(value)
            restore_descriptions(template, resources[template])
        result["releases"][release] = {
            "highest_api_version": int(data["highest_api_version"]),
            "served_paths": sorted(data["served_paths"], key=lambda p: (split(p)[1], split(p)[0])),
            "resources": dict(sorted(resources.items())),
        }
    return result


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../../shared/cluster-api")
    json.dump(derive(folder), sys.stdout, indent=1, sort_keys=False, ensure_ascii=False)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
