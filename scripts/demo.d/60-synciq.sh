# SyncIQ replication: list the policies, check one for snapshot replication and put it right,
# start a job from a snapshot, follow it and read its report.
ctl synciq policies
ctl synciq policies --path /ifs/home
ctl synciq validate projects-dr || echo "(projects-dr is not fit for snapshot replication yet)"
ctl synciq validate projects-dr --fix
synciq_out=$(ctl synciq start projects-dr projects-daily)
echo "$synciq_out"
synciq_job=$(echo "$synciq_out" | sed -n 's/^Started job \([0-9][0-9]*\) .*/\1/p')
ctl synciq job projects-dr
sleep 4  # the simulated job runs for three seconds
ctl synciq report projects-dr --job "$synciq_job"
ctl synciq report home-dr --state finished
