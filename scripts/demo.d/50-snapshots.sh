# Snapshots and change lists: snapshot a directory, change files, snapshot again, then build
# the change list between the two snapshots and print it.
ctl snapshots create /ifs/data demo-before
ctl copy /ifs/data/projects/plan.txt /ifs/data/projects/plan-v2.txt
ctl copy --overwrite /ifs/data/home/notes.txt /ifs/data/README
ctl snapshots create /ifs/data demo-after
ctl snapshots list --path /ifs/data
snapshot_id() {
  ctl --json snapshots list --name "$1" | sed -n 's/^ *"id": *\([0-9][0-9]*\).*/\1/p' | sed -n 1p
}
older=$(snapshot_id demo-before)
newer=$(snapshot_id demo-after)
ctl changelist jobtype get
ctl changelist create "$older" "$newer" --wait
ctl changelist get "$older" "$newer" --all
ctl snapshots delete --name demo-before
