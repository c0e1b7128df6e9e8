# NFS exports: export a directory to a backup host, find it by path, then remove it again.
ctl exports list
created=$(ctl --json exports create /ifs/data/backup-staging --client backup01.example.com)
echo "$created"
export_id=$(printf '%s\n' "$created" | sed -n 's/^ *"id": *\([0-9][0-9]*\).*/\1/p' | sed -n 1p)
[ -n "$export_id" ] || { echo "no export id in the create reply" >&2; exit 1; }
ctl exports list --path /ifs/data/backup-staging
ctl exports delete "$export_id"
ctl exports list
